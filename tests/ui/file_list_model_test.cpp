// The file list's rows: an entry's columns from its path, and a selection that keeps its
// entries through sorting and is removed row by row.
#include <QItemSelectionModel>
#include <QTableView>
#include <QTest>

#include "ui/file_list_model.h"
#include "ui/main_dialog.h"

using namespace sarnavel;

namespace {

std::vector<FileListEntry> manyEntries(int count) {
  std::vector<FileListEntry> entries;
  entries.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    // Numbers in scrambled order, so the sort has work to do.
    const int key = static_cast<int>((static_cast<long long>(i) * 7919) % count);
    entries.push_back(FileListEntry::fromFullPath("/site/pages/page" + std::to_string(key) + ".html"));
  }
  return entries;
}

}  // namespace

class FileListModelTest : public QObject {
  Q_OBJECT

 private slots:
  void entryFromFullPath() {
    const FileListEntry entry = FileListEntry::fromFullPath("/srv/www/in.dex/Index.HTML");
    QCOMPARE(entry.fileName, QStringLiteral("Index.HTML"));
    QCOMPARE(entry.extension, QStringLiteral("HTML"));
    QCOMPARE(entry.fullPath, QStringLiteral("/srv/www/in.dex/Index.HTML"));
    QCOMPARE(entry.path, std::filesystem::path("/srv/www/in.dex/Index.HTML"));
    const FileListEntry japanese = FileListEntry::fromFullPath("/srv/日本語/ページ.tar.htm");
    QCOMPARE(japanese.fileName, QStringLiteral("ページ.tar.htm"));
    QCOMPARE(japanese.extension, QStringLiteral("htm"));
  }

  void selectionSurvivesSortingAndRemoval() {
    FileListModel model;
    QTableView view;
    view.setModel(&model);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    view.resize(600, 400);
    view.show();

    model.appendEntries(manyEntries(1000));
    QCOMPARE(model.rowCount(), 1000);

    // All rows selected, then sorted: all stay selected.
    view.selectAll();
    model.reorder([](const FileListEntry& a, const FileListEntry& b) { return a.fileName < b.fileName; });
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("page0.html"));
    QCOMPARE(model.index(1, 0).data().toString(), QStringLiteral("page1.html"));
    QCOMPARE(model.index(2, 0).data().toString(), QStringLiteral("page10.html"));
    QCOMPARE(view.selectionModel()->selectedRows().size(), 1000);

    // Every hundredth row selected, then sorted back: the same entries stay selected.
    view.clearSelection();
    QItemSelection selection;
    for (int row = 0; row < 1000; row += 10) selection.select(model.index(row, 0), model.index(row, 2));
    view.selectionModel()->select(selection, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QSet<QString> selected;
    for (const QModelIndex& index : view.selectionModel()->selectedRows()) selected.insert(index.data().toString());
    model.reorder([](const FileListEntry& a, const FileListEntry& b) { return a.fileName > b.fileName; });
    QSet<QString> stillSelected;
    std::vector<int> rows;
    for (const QModelIndex& index : view.selectionModel()->selectedRows()) {
      stillSelected.insert(index.data().toString());
      rows.push_back(index.row());
    }
    QCOMPARE(stillSelected, selected);

    model.removeRowNumbers(rows);
    QCOMPARE(model.rowCount(), 900);
    for (int row = 0; row < model.rowCount(); row += 7)
      QVERIFY(!selected.contains(model.index(row, 0).data().toString()));
  }

  void removingRunsFromTheEnd() {
    FileListModel model;
    std::vector<FileListEntry> entries;
    for (int i = 0; i < 10; ++i) entries.push_back(FileListEntry::fromFullPath("/f" + std::to_string(i) + ".js"));
    model.appendEntries(std::move(entries));
    model.removeRowNumbers({9, 2, 3, 3, 42, -1, 8});
    QStringList names;
    for (const FileListEntry& entry : model.entries()) names << entry.fileName;
    QCOMPARE(names, (QStringList{"f0.js", "f1.js", "f4.js", "f5.js", "f6.js", "f7.js"}));
  }
};

QTEST_MAIN(FileListModelTest)
#include "file_list_model_test.moc"
