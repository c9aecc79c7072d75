#include "ui/preferences_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

#include "run/kind_set.h"

namespace sarnavel {

PreferencesDialog::PreferencesDialog(const DesktopSettings& settings, QWidget* parent)
    : QDialog(parent),
      edited_(settings),
      kinds_(new QLineEdit(this)),
      fixServerCharset_(new QCheckBox(tr("サーバーの文字コード指定も直す(&H)"), this)),
      dryRun_(new QCheckBox(tr("試し変換: ファイルに書き込まない(&D)"), this)),
      backupDir_(new QLineEdit(this)),
      backupSuffix_(new QLineEdit(this)) {
  setObjectName(QStringLiteral("sarnavel_preferences"));
  setWindowTitle(tr("設定"));
  kinds_->setObjectName(QStringLiteral("kinds"));
  kinds_->setPlaceholderText(QStringLiteral("+xhtml,shtml"));
  QString names;
  for (const KindName& kind : kindNames())
    names += QStringLiteral("\n%1: %2")
                 .arg(QLatin1String(kind.name.data(), static_cast<qsizetype>(kind.name.size())),
                      QLatin1String(kind.extensions.data(), static_cast<qsizetype>(kind.extensions.size())));
  kinds_->setToolTip(tr("空: html, css, js。「+」で始めると既定に加えます。") + names);
  fixServerCharset_->setObjectName(QStringLiteral("fix_server_charset"));
  dryRun_->setObjectName(QStringLiteral("dry_run"));
  backupDir_->setObjectName(QStringLiteral("backup_dir"));
  backupDir_->setPlaceholderText(tr("元のファイルと同じフォルダー"));
  backupSuffix_->setObjectName(QStringLiteral("backup_suffix"));

  auto* browse = new QPushButton(tr("参照...(&R)"), this);
  browse->setAutoDefault(false);
  connect(browse, &QPushButton::clicked, this, [this] {
    const QString folder = QFileDialog::getExistingDirectory(this, tr("バックアップの保存先"), backupDir_->text(),
                                                             QFileDialog::DontUseNativeDialog);
    if (!folder.isEmpty()) backupDir_->setText(folder);
  });
  auto* backupRow = new QHBoxLayout;
  backupRow->addWidget(backupDir_, 1);
  backupRow->addWidget(browse);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  buttons->button(QDialogButtonBox::Cancel)->setText(tr("キャンセル"));
  QPushButton* defaults = buttons->addButton(tr("既定に戻す(&E)"), QDialogButtonBox::ResetRole);
  defaults->setObjectName(QStringLiteral("restore_defaults"));
  connect(defaults, &QPushButton::clicked, this, &PreferencesDialog::restoreDefaults);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(backupSuffix_, &QLineEdit::textChanged, this, &PreferencesDialog::checkValues);
  connect(kinds_, &QLineEdit::textChanged, this, &PreferencesDialog::checkValues);

  auto* form = new QFormLayout(this);
  form->addRow(tr("変換する種類(&K):"), kinds_);
  form->addRow(fixServerCharset_);
  form->addRow(dryRun_);
  form->addRow(tr("バックアップの保存先(&B):"), backupRow);
  form->addRow(tr("バックアップの接尾辞(&S):"), backupSuffix_);
  form->addRow(buttons);
  fill(settings);
}

void PreferencesDialog::fill(const DesktopSettings& settings) {
  edited_ = settings;
  kinds_->setText(settings.kinds);
  fixServerCharset_->setChecked(settings.fixServerCharset);
  dryRun_->setChecked(settings.dryRun);
  backupDir_->setText(settings.backupDir);
  backupSuffix_->setText(settings.backupSuffix);
  checkValues();
}

DesktopSettings PreferencesDialog::settings() const {
  DesktopSettings settings = edited_;
  settings.kinds = kinds_->text().trimmed();
  settings.fixServerCharset = fixServerCharset_->isChecked();
  settings.dryRun = dryRun_->isChecked();
  settings.backupDir = backupDir_->text().trimmed();
  settings.backupSuffix = backupSuffix_->text();
  return settings;
}

void PreferencesDialog::restoreDefaults() { fill(DesktopSettings{}); }

void PreferencesDialog::checkValues() {
  const QString suffix = backupSuffix_->text();
  const QString kinds = kinds_->text().trimmed();
  const bool kindsUsable = kinds.isEmpty() || parseKindList(kinds.toStdString()).fault == KindListParse::Fault::None;
  ok_->setEnabled(kindsUsable && !suffix.isEmpty() && !suffix.contains(QLatin1Char('/')));
}

}  // namespace sarnavel
