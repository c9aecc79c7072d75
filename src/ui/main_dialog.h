// The main dialog (IDD_MAIN): the target encoding and line ending, three switches, the list
// of files to convert, and the buttons that remove rows, start a run and leave the program.
//
// Files enter the list from the command line (once, while the dialog is built), from drops of
// local files and folders, from Ctrl+O (a file dialog for several files and folders) and from
// Ctrl+V (paths or file:// URLs, one a line); Delete removes the selected rows. The keys have
// no control of their own; the drop hint's tooltip names them. Every way in goes through the
// same intake as the command-line tool's, offerPaths, with all the paths of one drop, paste,
// choice or command line at once (so a link in one folder to a file in another folder of the
// same batch is taken): paths that do not exist or are of another kind add nothing, silently.
// What the walk met and left out (folders it could not read, links it did not follow) is told
// in a message box once the rows are in (intake_message.h): window-modal with a warning when
// files are missing from the list, a box that does not block the dialog when only links were
// passed over by design. The command line's are told as soon as the dialog shows. Names keep
// their bytes (local_paths.h) and show readably (readable_path.h). A drop, paste or choice is
// taken in off the window's thread, with a busy indicator that cancels it (list_intake.h); the
// command line's paths are in the list before the dialog shows.
//
// The list sorts only when a column header is clicked (onColumnClick): the first click on a
// column sorts it ascending, the next descending; a click on another column forgets the first
// one's direction. Texts compare by UTF-16 code unit, case-sensitively, with no second key.
// Rows added later go to the end until the next click.
//
// "変換(&C)" disables the buttons and runs the progress dialog modally with the options and the
// rows as they are at that moment; afterwards the buttons come back, with the list and the
// options unchanged. "確認(&K)" beside it does the same with a check: what every listed file
// is, with nothing converted. The Escape key and the close box leave like "終了(&X)"; the Enter
// key does nothing unless a button has the focus.
//
// Ctrl+, opens the preferences (preferences_dialog.h). With the dry run on there, 変換
// converts in memory only and writes nothing, and the window's title says so. The dialog can
// be made larger than its layout, never smaller; the list takes the room, the buttons keep to
// the bottom right corner. Under the list, the number of rows ("N 件"); a row's tooltip is its
// full path, readably.
//
// What the user chose (target, line ending, switches, preferences, the window's size, the
// folder Ctrl+O last opened) is remembered only when the dialog is told to (remember): then
// it is written to the settings file (desktop_settings.h) when a run starts, when the
// preferences are taken and when the dialog closes. Otherwise every start has the defaults.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <vector>

#include <QDialog>
#include <QPointer>

#include "run/conversion_run.h"
#include "run/intake.h"
#include "ui/desktop_settings.h"
#include "ui/file_list_model.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QMessageBox;
class QMimeData;
class QPushButton;
class QTableView;

namespace sarnavel {

class BackgroundIntake;
struct ListIntake;

class MainDialog : public QDialog {
  Q_OBJECT

 public:
  // commandLinePaths: the arguments after the program's own name.
  explicit MainDialog(const std::vector<std::filesystem::path>& commandLinePaths = {}, QWidget* parent = nullptr);

  // File intake. Each adds the accepted files at the end of the list: a file, a folder and the
  // command line at once; drops, Ctrl+O and Ctrl+V once taken in (intakeUnderWay).
  void addFileToList(const std::filesystem::path& path);
  void addFolderToList(const std::filesystem::path& path);
  void addDroppedFiles(const QMimeData& drop);
  void addCommandLinePaths(const std::vector<std::filesystem::path>& paths);
  void addChosenPaths();  // Ctrl+O
  void addPastedPaths();  // Ctrl+V

  // What Ctrl+O asks the user; by default an AddFilesDialog. Tests put their own answer here.
  using PathChooser = std::function<std::vector<std::filesystem::path>(QWidget& parent)>;
  void setPathChooser(PathChooser chooser) { choosePaths_ = std::move(chooser); }

  // The list.
  void onColumnClick(int column);
  int compareRows(const FileListEntry& a, const FileListEntry& b) const;
  void removeSelectedRows();
  void removeAllRows();
  int sortDirection(int column) const;  // -1 ascending, +1 descending, 0 not sorted by it

  void startConversion();
  void startCheck();  // 確認
  // The run that "変換(&C)" would start now: the options and the rows as the controls hold them.
  RunRequest currentRequest() const;

  // Shows `settings` in the controls and keeps them; with `writeBack`, what the user chooses
  // from now on is written to the settings file.
  void remember(const DesktopSettings& settings, bool writeBack);
  // The settings as the dialog holds them now.
  DesktopSettings currentSettings() const;
  void openPreferences();  // Ctrl+,

  const FileListModel& fileList() const { return *model_; }
  FileListModel& fileList() { return *model_; }

  // Whether a drop, paste or choice is still being taken in (list_intake.h).
  bool intakeUnderWay() const;
  BackgroundIntake& backgroundIntake() { return *intake_; }

  // The message box about the last intake's notices while it is open, else null.
  QMessageBox* intakeMessageBox() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void done(int result) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // The controls, on the dialog-unit grid in their tab order, and what their buttons do.
  void placeControls();
  // The keys without a control of their own (Ctrl+O, Ctrl+V, Delete) and the chooser Ctrl+O opens.
  void addKeys();
  void initMainDialog(const std::vector<std::filesystem::path>& commandLinePaths);
  void offerToList(const std::vector<std::filesystem::path>& paths);
  void addToList(ListIntake& intake);
  void showIntakeNotices();
  void setButtonsEnabled(bool enabled);
  void runInProgressDialog(WriteMode mode);
  void showRowCount();
  void showTitle();
  void keepChoices() const;
  KindSet kindsTaken() const;  // the preferences' kinds

  // A control's place on the dialog-unit grid, and how it follows a larger window.
  struct Placed {
    QWidget* widget;
    QRect base;
    enum { Grows, FollowsBottom, FollowsCorner } how;
  };
  std::vector<Placed> stretched_;
  QSize baseSize_;
  FileListModel* model_;
  BackgroundIntake* intake_;
  QComboBox* encoding_ = nullptr;
  QComboBox* newline_ = nullptr;
  QCheckBox* followCss_ = nullptr;
  QCheckBox* followJs_ = nullptr;
  QCheckBox* backup_ = nullptr;
  QTableView* list_ = nullptr;
  QLabel* rowCount_ = nullptr;
  QPushButton* removeSelected_ = nullptr;
  QPushButton* removeAll_ = nullptr;
  QPushButton* check_ = nullptr;
  QPushButton* convert_ = nullptr;
  QPushButton* exit_ = nullptr;
  std::array<int, 3> sortDirection_{};  // per column: file name, extension, full path
  PathChooser choosePaths_;
  DesktopSettings settings_;  // the preferences, the window's size, the last folder
  bool writesSettings_ = false;
  std::vector<IntakeNotice> untoldNotices_;        // met by intakes whose message has not shown yet
  PathList untakenPages_;                          // the pages of other kinds the intakes met (conversion_run.h)
  std::vector<std::filesystem::path> passedOver_;  // what the intakes' walks did not enter (conversion_run.h)
  // What the user named (dropped, pasted, chose, gave on the command line), as the command-line
  // tool's arguments are named; told to the run only while no row has been taken out since.
  std::vector<std::filesystem::path> named_;
  bool namedWhole_ = true;
  QPointer<QMessageBox> intakeMessageBox_;
};

}  // namespace sarnavel
