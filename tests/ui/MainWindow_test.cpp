// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: start-up, New, Open, the folder tree and listing, the listing's selection,
// the file-system panes and the central error handler, driven through the real window.

#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include "platform/Error.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"
#include "WindowTestSupport.h"

namespace oru::ui {
namespace {

using namespace testing;

class MainWindowTest : public ::testing::Test {
protected:
    TempDir tmp;
    FixedClock clock{oru::clock::fromLocal(2024, 3, 4, 10, 20, 30)};

    // src/: top.txt, a/x/x2.txt, b/b.txt, b/x/x1.txt, it's/q.txt
    std::string nestedArchive() {
        writeFile(tmp / "src/top.txt", "top");
        writeFile(tmp / "src/a/x/x2.txt", "two");
        writeFile(tmp / "src/b/b.txt", "bee");
        writeFile(tmp / "src/b/x/x1.txt", "one");
        writeFile(tmp / "src/it's/q.txt", "quote");
        const std::string path = tmp / "nested.oru";
        makeArchive(path, {tmp / "src/b", tmp / "src/it's", tmp / "src/a", tmp / "src/top.txt"}, {{"x~1", "x"}});
        return path;
    }
};

TEST_F(MainWindowTest, WindowHasItsCaptionToolbarAndFrames) {
    TMainFrm w({});
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Windows Oru File Shell"));
    EXPECT_EQ(QApplication::applicationDisplayName(), QStringLiteral("WinOru"));
    struct Button {
        const char* name;
        const char* hint;
    } expected[] = {
        {"BtnNewFile", "新壓縮檔"}, {"BtnOpenFile", "開啟壓縮檔"}, {"BtnAddFile", "加入壓縮"},
        {"BtnDelete", "刪除"},      {"BtnBrowse", "檢視"},        {"BtnExtract", "解壓縮到"},
        {"BtnBuildExe", "重整檔案"}, {"ToolButton1", "離開"},
    };
    const QList<QToolButton*> buttons = ToolBar1(w)->findChildren<QToolButton*>(QString(), Qt::FindDirectChildrenOnly);
    std::vector<QToolButton*> ours;
    for (QToolButton* b : buttons)
        if (!b->objectName().isEmpty() && !b->objectName().startsWith(u"qt_")) ours.push_back(b);
    ASSERT_EQ(ours.size(), std::size(expected));
    for (size_t i = 0; i < ours.size(); ++i) {
        EXPECT_EQ(ours[i]->objectName().toStdString(), expected[i].name);
        EXPECT_EQ(ours[i]->toolTip().toStdString(), expected[i].hint);
        EXPECT_FALSE(ours[i]->icon().isNull()) << expected[i].name;
        // With no archive open only New, Open and Quit can do anything.
        const std::string name = expected[i].name;
        EXPECT_EQ(ours[i]->isEnabled(), name == "BtnNewFile" || name == "BtnOpenFile" || name == "ToolButton1")
            << name;
    }
    EXPECT_EQ(PageControl1(w)->tabText(0), QStringLiteral("檔案清單"));
    EXPECT_EQ(GroupBox1(w)->title(), QStringLiteral("壓縮檔"));
    EXPECT_EQ(tv(w)->indentation(), 19);
    EXPECT_EQ(tv(w)->topLevelItemCount(), 0);
    EXPECT_EQ(w.listingModel()->rowCount(), 0);
}

TEST_F(MainWindowTest, StartWithTwoArgumentsOpensTheLast) {
    writeFile(tmp / "one.txt", "1");
    writeFile(tmp / "two.txt", "2");
    makeArchive(tmp / "a.oru", {tmp / "one.txt"});
    makeArchive(tmp / "b.oru", {tmp / "two.txt"});
    TMainFrm w({tmp / "a.oru", tmp / "b.oru"});
    w.FormCreate();
    ASSERT_NE(w.CurrentArchive(), nullptr);
    EXPECT_EQ(w.ArchiveFileName(), tmp / "b.oru");
    EXPECT_EQ(tv(w)->topLevelItem(0)->text(0).toStdString(), tmp / "b.oru");
    EXPECT_EQ(tv(w)->currentItem(), tv(w)->topLevelItem(0));
    EXPECT_EQ(listing(w), std::vector<std::string>{"two.txt"});
}

TEST_F(MainWindowTest, MissingArchiveAtStartShowsTheMessageAndOpensWithNoArchive) {
    ShownErrors shown;
    const std::string missing = tmp / "missing.oru";
    TMainFrm w({missing});
    EXPECT_FALSE(TApplication::instance()->runCommand([&] { w.FormCreate(); }));
    ASSERT_EQ(shown.texts.size(), 1u);
    EXPECT_EQ(shown.texts[0], missing + "找不到這個檔案.");
    EXPECT_EQ(w.CurrentArchive(), nullptr);
    EXPECT_EQ(tv(w)->topLevelItemCount(), 0);
    EXPECT_EQ(w.listingModel()->rowCount(), 0);
}

// An archive the engine refuses (its catalog lacks a field, the packet holds a single column, the
// file ends where its catalog should begin) is reported by the central handler, naming the
// archive, whether it is named on the command line or chosen through Open; the window stays
// without an archive, and opens a sound one after.
TEST_F(MainWindowTest, RefusedCatalogIsReportedAtStartAndThroughOpenAndTheWindowGoesOn) {
    writeFile(tmp / "one.txt", "1");
    const std::string good = tmp / "good.oru";
    makeArchive(good, {tmp / "one.txt"});
    const auto fieldNotFound = [](const char* field) {
        return [field](const std::string& p) { return "Field '" + std::string(field) + "' not found: " + p; };
    };
    struct Case {
        const char* name;
        std::function<void(const std::string&)> damage;
        std::function<std::string(const std::string&)> message;  // what the window shows, by path
    } cases[] = {
        {"no-type.oru", [](const std::string& p) { oru::test::dropCatalogColumn(p, "FileType"); },
         fieldNotFound("FileType")},
        {"no-date.oru", [](const std::string& p) { oru::test::dropCatalogColumn(p, "CheckinDate"); },
         fieldNotFound("CheckinDate")},
        {"cut.oru",
         [](const std::string& p) {
             const oru::test::Bytes bytes = oru::test::readAll(p);
             oru::test::writeAll(p, {bytes.begin(), bytes.begin() + oru::test::le32(bytes, 4)});
         },
         [](const std::string& p) { return oru::errorText(oru::ErrorKind::MissingCatalog, {.archive = p}); }},
        {"renamed.oru",
         [](const std::string& p) {
             oru::test::rewriteCatalog(p, [](TableData& data) { data.columns[0].name = "Name"; });
         },
         fieldNotFound("FileName")},
        {"one-column.oru",
         [](const std::string& p) {
             oru::test::rewriteCatalog(p, [](TableData& data) {
                 data.columns.resize(1);
                 for (Slot& slot : data.slots) slot.fields = FieldRow({*slot.fields.begin()});
             });
         },
         fieldNotFound("ParentName")},
    };
    for (const Case& c : cases) {
        const std::string path = tmp / c.name;
        std::filesystem::copy_file(good, path);
        c.damage(path);
        const std::string expected = c.message(path);
        for (bool throughOpen : {false, true}) {
            ShownErrors shown;
            TMainFrm w(throughOpen ? std::vector<std::string>{} : std::vector<std::string>{path});
            if (throughOpen) {
                OpenDialog::setNextAnswer(path);
                EXPECT_FALSE(TApplication::instance()->runCommand([&] { w.BtnOpenFileClick(); })) << c.name;
            } else {
                EXPECT_FALSE(TApplication::instance()->runCommand([&] { w.FormCreate(); })) << c.name;
            }
            EXPECT_EQ(shown.texts, std::vector<std::string>{expected + "."});
            EXPECT_EQ(w.CurrentArchive(), nullptr) << c.name;
            EXPECT_EQ(tv(w)->topLevelItemCount(), 0) << c.name;
            EXPECT_EQ(w.windowTitle(), QStringLiteral("Windows Oru File Shell")) << c.name;
            // The window goes on: a sound archive opens through Open.
            OpenDialog::setNextAnswer(good);
            EXPECT_TRUE(TApplication::instance()->runCommand([&] { w.BtnOpenFileClick(); })) << c.name;
            EXPECT_EQ(listing(w), std::vector<std::string>{"one.txt"}) << c.name;
        }
    }
}

TEST_F(MainWindowTest, NewShowsALoneRootAndAnEmptyListingUntilAdd) {
    const std::string path = tmp / "new.oru";
    TMainFrm w({});
    SaveDialog::setNextAnswer(path);
    w.BtnNewFileClick();
    ASSERT_NE(w.CurrentArchive(), nullptr);
    EXPECT_EQ(readFile(path).substr(0, 4), "KVAR");
    ASSERT_EQ(tv(w)->topLevelItemCount(), 1);
    EXPECT_EQ(tv(w)->topLevelItem(0)->text(0).toStdString(), path);
    EXPECT_EQ(tv(w)->topLevelItem(0)->childCount(), 0);
    EXPECT_FALSE(w.listingModel()->isBound());

    EXPECT_EQ(w.windowTitle(), QStringLiteral("new.oru — Windows Oru File Shell"));

    // Cancelling the next New closes the archive all the same, and nothing shows it any more.
    SaveDialog::setNextAnswer(std::nullopt);  // Cancel
    w.BtnNewFileClick();
    EXPECT_EQ(w.CurrentArchive(), nullptr);
    EXPECT_EQ(tv(w)->topLevelItemCount(), 0);
    EXPECT_EQ(w.ArchiveFileName(), "");
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Windows Oru File Shell"));
}

TEST_F(MainWindowTest, OpenShowsFoldersByNameAndEachNodesListing) {
    const std::string path = nestedArchive();
    TMainFrm w({});
    OpenDialog::setNextAnswer(path);
    w.BtnOpenFileClick();
    ASSERT_NE(w.CurrentArchive(), nullptr);
    // Folders by name under every node; the two folders named x are two nodes.
    EXPECT_EQ(treeText(w), "R(a(x),b(x),it's)");
    EXPECT_EQ(listing(w), (std::vector<std::string>{"a", "b", "it's", "top.txt"}));

    struct Case {
        std::vector<std::string> node;
        std::vector<std::string> rows;
    } cases[] = {
        {{"b"}, {"x", "b.txt"}},              // folders before files
        {{"a", "x"}, {"x1.txt", "x2.txt"}},   // a name shows the children of every folder so named
        {{"b", "x"}, {"x1.txt", "x2.txt"}},
        {{"it's"}, {"q.txt"}},                // the quote is doubled in the filter
        {{}, {"a", "b", "it's", "top.txt"}},  // the root is the first node
    };
    for (const Case& c : cases) {
        QTreeWidgetItem* n = node(w, c.node);
        ASSERT_NE(n, nullptr);
        tv(w)->setCurrentItem(n);
        EXPECT_EQ(listing(w), c.rows) << (c.node.empty() ? "root" : c.node.back());
    }
}

TEST_F(MainWindowTest, CancelledOpenShowsNoArchive) {
    const std::string path = nestedArchive();
    TMainFrm w({path});
    w.FormCreate();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("nested.oru — Windows Oru File Shell"));
    EXPECT_TRUE(tv(w)->topLevelItem(0)->isExpanded());
    OpenDialog::setNextAnswer(std::nullopt);  // Cancel
    w.BtnOpenFileClick();
    EXPECT_EQ(w.CurrentArchive(), nullptr);
    EXPECT_EQ(treeText(w), "");
    EXPECT_EQ(w.listingModel()->rowCount(), 0);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Windows Oru File Shell"));
}

TEST_F(MainWindowTest, TitleNamesTheArchiveFileAndItsReadOnlyMark) {
    struct Case {
        std::string path;
        bool readOnly;
        QString title;
    } cases[] = {
        {"", false, QStringLiteral("Windows Oru File Shell")},
        {"/home/u/範例.oru", false, QStringLiteral("範例.oru — Windows Oru File Shell")},
        {"/media/cd/old.oru", true, QStringLiteral("old.oru [唯讀] — Windows Oru File Shell")},
    };
    for (const Case& c : cases) EXPECT_EQ(TMainFrm::windowTitleFor(c.path, c.readOnly), c.title) << c.path;
}

TEST_F(MainWindowTest, ExitClosesTheWindowAndTheArchiveWithoutWritingIt) {
    const std::string path = nestedArchive();
    const std::string before = readFile(path);
    {
        TMainFrm w({path});
        w.FormCreate();
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        w.ToolButton1Click();
        EXPECT_FALSE(w.isVisible());
    }
    EXPECT_EQ(readFile(path), before);
    EXPECT_NO_THROW(oru::TKiv::OpenExisting(path));  // the file is no longer held
}

TEST_F(MainWindowTest, RepeatedFolderNamesOnOnePathEndTheTree) {
    // x/x/f.txt: following names, the inner x would be found again below itself forever.
    writeFile(tmp / "src/x/x/f.txt", "f");
    writeFile(tmp / "src/z.txt", "z");
    makeArchive(tmp / "cycle.oru", {tmp / "src/x", tmp / "src/z.txt"}, {{"x~1", "x"}});
    TMainFrm w({tmp / "cycle.oru"});
    w.FormCreate();
    EXPECT_EQ(treeText(w), "R(x(x))");
    tv(w)->setCurrentItem(node(w, {"x", "x"}));
    EXPECT_EQ(listing(w), (std::vector<std::string>{"x", "f.txt"}));
}

TEST_F(MainWindowTest, ListingSelectionFollowsClicksAndKeysAsQtViewsDo) {
    for (const char* name : {"f1", "f2", "f3", "f4", "f5"}) writeFile(tmp / (std::string("src/") + name), name);
    writeFile(tmp / "src/sub/s.txt", "s");
    makeArchive(tmp / "sel.oru", {tmp / "src/f1", tmp / "src/f2", tmp / "src/f3", tmp / "src/f4",
                                  tmp / "src/f5", tmp / "src/sub"});
    TMainFrm w({tmp / "sel.oru"});
    w.FormCreate();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    TDBGrid* grid = DBGrid1(w);
    ASSERT_EQ(listing(w), (std::vector<std::string>{"sub", "f1", "f2", "f3", "f4", "f5"}));
    auto click = [&](int row, Qt::KeyboardModifiers mods = {}) {
        grid->scrollTo(grid->model()->index(row, 0));
        const QRect rect = grid->visualRect(grid->model()->index(row, 0));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, mods, rect.center());
    };
    auto key = [&](Qt::Key k, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(grid, k, mods); };
    auto rows = [&] { return grid->selectedRows(); };
    const CatalogTable& catalog = w.CurrentArchive()->Catalog();

    click(2);
    EXPECT_EQ(rows(), std::vector<int>{2});
    EXPECT_EQ(catalog.RecordNumber(), 3);  // the grid's cursor is the catalog's current row
    click(4, Qt::ControlModifier);
    click(1, Qt::ControlModifier);
    EXPECT_EQ(rows(), (std::vector<int>{1, 2, 4}));
    // Bookmarks stay in listing order whatever the order of clicking.
    ASSERT_EQ(grid->SelectedCount(), 3);
    EXPECT_EQ(grid->SelectedBookmark(0).recordNumber, 2);
    EXPECT_EQ(grid->SelectedBookmark(2).recordNumber, 5);
    click(2, Qt::ControlModifier);
    EXPECT_EQ(rows(), (std::vector<int>{1, 4}));
    click(1);
    click(3, Qt::ShiftModifier);  // Shift extends a click from the row clicked before
    EXPECT_EQ(rows(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(catalog.RecordNumber(), 4);

    // Shift with the arrows extends from the same anchor, and shrinks back towards it.
    key(Qt::Key_Down, Qt::ShiftModifier);
    key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(rows(), (std::vector<int>{1, 2, 3, 4, 5}));
    key(Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(rows(), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(catalog.RecordNumber(), 5);
    for (int i = 0; i < 4; ++i) key(Qt::Key_Up, Qt::ShiftModifier);  // past the anchor
    EXPECT_EQ(rows(), (std::vector<int>{0, 1}));

    // A plain arrow selects the row it moves to, and only it.
    key(Qt::Key_Down);
    EXPECT_EQ(rows(), std::vector<int>{1});
    EXPECT_EQ(catalog.RecordNumber(), 2);
    // Ctrl moves the cursor alone; Space and Ctrl+Space toggle the row under it.
    key(Qt::Key_Down, Qt::ControlModifier);
    key(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(rows(), std::vector<int>{1});
    EXPECT_EQ(catalog.RecordNumber(), 4);
    key(Qt::Key_Space);
    EXPECT_EQ(rows(), (std::vector<int>{1, 3}));
    key(Qt::Key_Space);
    EXPECT_EQ(rows(), std::vector<int>{1});
    key(Qt::Key_Down, Qt::ControlModifier);
    key(Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(rows(), (std::vector<int>{1, 4}));
    key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(rows(), (std::vector<int>{1, 4}));
    EXPECT_EQ(catalog.RecordNumber(), 6);

    key(Qt::Key_Escape);
    EXPECT_TRUE(rows().empty());
    key(Qt::Key_Home, Qt::ControlModifier);
    key(Qt::Key_PageDown);  // the page keys select where they land, as the arrows do
    EXPECT_EQ(rows(), std::vector<int>{grid->currentIndex().row()});
    // The grid deletes nothing itself.
    key(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(listing(w).size(), 6u);

    // Choosing another folder clears the selection.
    click(1);
    tv(w)->setCurrentItem(node(w, {"sub"}));
    EXPECT_EQ(grid->SelectedCount(), 0);
}

TEST_F(MainWindowTest, FilePaneListsEntriesWithoutDotsAndSetsTheWorkingDirectory) {
    writeFile(tmp / "pane/b.txt", "b");
    writeFile(tmp / "pane/run.EXE", "x");
    writeFile(tmp / "pane/.hidden", "h");
    writeFile(tmp / "pane/sub/in.txt", "i");
    TMainFrm w({});
    DirectoryListBox1(w)->setDirectory(QString::fromStdString(tmp / "pane"));
    EXPECT_EQ(QDir::currentPath().toStdString(), tmp / "pane");
    EXPECT_EQ(FileListBox1(w)->Directory().toStdString(), tmp / "pane");
    std::vector<std::string> items;
    for (int i = 0; i < FileListBox1(w)->count(); ++i) items.push_back(FileListBox1(w)->item(i)->text().toStdString());
    std::sort(items.begin(), items.end());
    EXPECT_EQ(items, (std::vector<std::string>{"[sub]", "b.txt", "run.EXE"}));
    EXPECT_EQ(FileListBox1(w)->selectionMode(), QAbstractItemView::ExtendedSelection);

    // Opening the subdirectory in the directory pane moves both panes and the working directory.
    const auto sub = DirectoryListBox1(w)->findItems(QStringLiteral("sub"), Qt::MatchEndsWith);
    ASSERT_EQ(sub.size(), 1);
    Q_EMIT DirectoryListBox1(w)->itemActivated(sub.front());
    EXPECT_EQ(QDir::currentPath().toStdString(), tmp / "pane/sub");
    ASSERT_EQ(FileListBox1(w)->count(), 1);
    EXPECT_EQ(FileListBox1(w)->item(0)->text(), QStringLiteral("in.txt"));
}

TEST_F(MainWindowTest, FilePanesFollowTheDiskOnF5AndByThemselves) {
    writeFile(tmp / "src/a.txt", "a");
    TMainFrm w({});
    selectInFilePane(w, tmp / "src", {"a.txt"});
    auto texts = [&w] {
        std::vector<std::string> t;
        for (int i = 0; i < FileListBox1(w)->count(); ++i) t.push_back(FileListBox1(w)->item(i)->text().toStdString());
        return t;
    };
    // F5 reads both panes again; the selection stays on the names that remain.
    writeFile(tmp / "src/b.txt", "b");
    std::filesystem::create_directories(tmp / "src/new");
    w.refreshFilePanes();
    EXPECT_EQ(texts(), (std::vector<std::string>{"[new]", "a.txt", "b.txt"}));
    EXPECT_TRUE(FileListBox1(w)->item(1)->isSelected());
    EXPECT_EQ(DirectoryListBox1(w)->findItems(QStringLiteral("new"), Qt::MatchExactly).size(), 1);

    // A change on the disk shows by itself.
    writeFile(tmp / "src/c.txt", "c");
    EXPECT_TRUE(QTest::qWaitFor([&] { return FileListBox1(w)->count() == 4; }, 5000));

    // The directory shown goes away: the panes move to the nearest one above that exists.
    DirectoryListBox1(w)->setDirectory(QString::fromStdString(tmp / "src/new"));
    std::filesystem::remove(tmp / "src/new");
    w.refreshFilePanes();
    EXPECT_EQ(DirectoryListBox1(w)->Directory().toStdString(), tmp / "src");
}

TEST_F(MainWindowTest, CentralHandlerShowsEscapingErrorsWithTheFullStopRule) {
    ShownErrors shown;
    struct Case {
        std::function<void()> fail;
        const char* shownText;  // nullptr: nothing shown
    } cases[] = {
        {[] { throw oru::Error(oru::ErrorKind::ReadError, {}); }, "Stream read error."},
        {[] { throw std::runtime_error("done."); }, "done."},
        {[] { throw std::runtime_error("x!"); }, "x!"},  // "!" sorts before "."
        {[] { throw oru::Cancelled(); }, nullptr},
        {[] { throw std::runtime_error("error"); }, "error."},
    };
    for (const Case& c : cases) {
        shown.texts.clear();
        EXPECT_FALSE(TApplication::instance()->runCommand(c.fail));
        if (c.shownText) {
            ASSERT_EQ(shown.texts.size(), 1u);
            EXPECT_EQ(shown.texts[0], c.shownText);
        } else {
            EXPECT_TRUE(shown.texts.empty());
        }
    }

    // An exception escaping an event handler is caught in event delivery.
    struct Throwing : QObject {
        bool event(QEvent*) override { throw oru::Error(oru::ErrorKind::CannotOpen, {.path = "x"}); }
    } throwing;
    shown.texts.clear();
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&throwing, &event);
    EXPECT_EQ(shown.texts, std::vector<std::string>{"Cannot open file x."});

    // With no archive open, the commands that need one cannot be clicked: no error box.
    shown.texts.clear();
    TMainFrm w({});
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    for (QToolButton* b : {BtnDelete(w), BtnBuildExe(w), BtnBrowse(w)}) QTest::mouseClick(b, Qt::LeftButton);
    QTest::keyClick(&w, Qt::Key_T, Qt::ControlModifier);
    EXPECT_TRUE(shown.texts.empty());
}

}  // namespace
}  // namespace oru::ui
