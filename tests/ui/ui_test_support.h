// Helpers shared by the desktop program's tests: real files in a temporary folder, the
// controls of a dialog by their ids, and work to do once a modal dialog is up.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "support/temp_folder.h"
#include "ui/main_dialog.h"

namespace sarnavel::testing {

// Each test program starts with a settings folder of its own, empty (XDG_CONFIG_HOME), so no
// test reads what another, or the user, chose.
class ScratchConfigHome {
 public:
  ScratchConfigHome() { ::setenv("XDG_CONFIG_HOME", folder_.path().c_str(), 1); }

 private:
  TempFolder folder_;
};
inline const ScratchConfigHome scratchConfigHome;

// The test's temporary folder of real files (names are bytes, not UTF-8 only), its files
// holding "x" unless given their bytes.
class Files : public TempFolder {
 public:
  std::filesystem::path root() const { return path(); }
  std::filesystem::path put(const std::string& relative, std::string_view bytes = "x") const {
    return TempFolder::put(relative, bytes);
  }
};

template <typename Widget>
Widget* control(const QWidget& dialog, const char* id) {
  return dialog.findChild<Widget*>(QLatin1String(id));
}

// The texts of one column of the file list, top to bottom.
inline QStringList columnTexts(const MainDialog& dialog, int column) {
  QStringList texts;
  const QAbstractItemModel* model = control<QTableView>(dialog, "IDC_FILE_LIST")->model();
  for (int row = 0; row < model->rowCount(); ++row) texts << model->index(row, column).data().toString();
  return texts;
}

inline QString text(const std::filesystem::path& path) { return QString::fromStdString(path.native()); }

// Calls `work` with the modal dialog named `id` as soon as it is up (the caller then blocks in
// that dialog's own event loop). `work` must close the dialog.
inline void whenModal(const char* id, std::function<void(QWidget&)> work) {
  auto* poll = new QTimer;
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, [poll, id, work = std::move(work)] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal->objectName() != QLatin1String(id) || !modal->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    work(*modal);
  });
  poll->start();
}

// Where a key typed into the window goes: its focus widget, or the window itself.
inline QWidget* keyTarget(QWidget& window) {
  QWidget* focus = window.focusWidget();
  return focus ? focus : &window;
}

// Clicks a column header of the file list with the mouse.
inline void clickHeader(const MainDialog& dialog, int column) {
  QHeaderView* header = control<QTableView>(dialog, "IDC_FILE_LIST")->horizontalHeader();
  const int x = header->sectionViewportPosition(column) + 8;  // the full path column reaches beyond the view
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
}

}  // namespace sarnavel::testing
