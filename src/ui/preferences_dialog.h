// The preferences dialog (Ctrl+, in the main dialog): the choices a user makes once for a
// site rather than for each run. The kinds of file taken (as --kinds takes them), whether the
// server's charset is fixed too, the dry run (変換 then converts in memory and writes nothing),
// and where backups go and what their names end in.
//
// It edits a copy of the remembered settings (desktop_settings.h): OK hands the copy back,
// キャンセル drops it. 既定に戻す puts every remembered choice back to its default, the main
// dialog's own (target, line ending, switches, window size, last folder) included; they take
// effect with OK. OK stays off while the kinds cannot be read (run/kind_set.h; empty: the
// default kinds), or the backup suffix is empty or holds a '/', which would put a backup over
// the file itself or into another folder.
#pragma once

#include <QDialog>

#include "ui/desktop_settings.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace sarnavel {

class PreferencesDialog : public QDialog {
  Q_OBJECT

 public:
  PreferencesDialog(const DesktopSettings& settings, QWidget* parent = nullptr);

  // The settings as the dialog holds them now.
  DesktopSettings settings() const;
  void restoreDefaults();  // 既定に戻す

 private:
  void fill(const DesktopSettings& settings);
  void checkValues();

  DesktopSettings edited_;  // what the rows do not show (the main dialog's choices)
  QLineEdit* kinds_;
  QCheckBox* fixServerCharset_;
  QCheckBox* dryRun_;
  QLineEdit* backupDir_;
  QLineEdit* backupSuffix_;
  QPushButton* ok_ = nullptr;
};

}  // namespace sarnavel
