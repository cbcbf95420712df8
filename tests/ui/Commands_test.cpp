// SPDX-License-Identifier: GPL-3.0-or-later
// The toolbar commands Add, Extract, Delete, Rebuild and Browse, driven through the real window
// and checked on the archive file and the disk afterwards.

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QDir>
#include <QListWidget>
#include <QPointer>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QUrl>
#include <QStatusBar>
#include <QProgressDialog>
#include <QTest>
#include <filesystem>
#include <algorithm>
#include <set>

#include "platform/Error.h"
#include "platform/Stream.h"
#include "ui/Browse.h"
#include "ui/CommandProgress.h"
#include "ui/DBGrid.h"
#include "ui/CommandTexts.h"
#include "ui/ProgressSink.h"
#include "ui/SelectDirDlg.h"
#include "WindowTestSupport.h"

namespace oru::ui {
namespace {

using namespace testing;
namespace fsys = std::filesystem;

struct Row {
    std::string parent, name;
    int type;
    int offset;
    bool operator<(const Row& o) const { return std::tie(parent, name) < std::tie(o.parent, o.name); }
    bool operator==(const Row& o) const = default;
};

// Every row of the archive at path (opened on its own, so the window must have let it go).
std::set<Row> archiveRows(const std::string& path) {
    auto archive = oru::TKiv::OpenExisting(path);
    CatalogTable& c = archive->Catalog();
    std::set<Row> rows;
    for (c.First(); !c.AtEnd(); c.Next())
        rows.insert({c.GetText("ParentName"), c.GetText("FileName"), c.GetInteger("FileType"),
                     c.GetInteger("FileType") == 1 ? c.GetInteger("Offset") : 0});
    return rows;
}

std::set<std::pair<std::string, std::string>> names(const std::set<Row>& rows) {
    std::set<std::pair<std::string, std::string>> out;
    for (const Row& r : rows) out.insert({r.parent, r.name});
    return out;
}

class CommandsTest : public ::testing::Test {
protected:
    TempDir tmp;
    FixedClock clock{oru::clock::fromLocal(2024, 3, 4, 10, 20, 30)};

    // A window whose archive is path, opened through the Open command. Qt's model checks watch
    // its listing through everything the test does.
    std::unique_ptr<TMainFrm> openWindow(const std::string& path) {
        auto w = std::make_unique<TMainFrm>(std::vector<std::string>{});
        new QAbstractItemModelTester(w->listingModel(), QAbstractItemModelTester::FailureReportingMode::Fatal,
                                     w.get());
        OpenDialog::answerWith([path] { return std::optional<std::string>(path); });
        w->BtnOpenFileClick();
        return w;
    }
    int rowOf(const TMainFrm& w, const std::string& name) {
        const auto rows = listing(w);
        const auto it = std::find(rows.begin(), rows.end(), name);
        return it == rows.end() ? -1 : static_cast<int>(it - rows.begin());
    }
};

TEST_F(CommandsTest, AddStoresSelectedFilesAndFolderTreesAtTheTopLevel) {
    writeFile(tmp / "src/a.txt", "alpha");
    writeFile(tmp / "src/docs/d1.txt", "d1");
    writeFile(tmp / "src/docs/sub/d2.txt", "d2");
    writeFile(tmp / "src/c.txt", "gamma");
    writeFile(tmp / "src/skip.txt", "not selected");
    const std::string path = tmp / "add.oru";
    {
        TMainFrm w({});
        QAbstractItemModelTester tester(w.listingModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        SaveDialog::answerWith([&] { return std::optional<std::string>(path); });
        w.BtnNewFileClick();
        selectInFilePane(w, tmp / "src", {"a.txt", "[docs]"});
        w.BtnAddFileClick();
        EXPECT_EQ(treeText(w), "R(docs(sub))");
        EXPECT_EQ(listing(w), (std::vector<std::string>{"docs", "a.txt"}));

        // With a subfolder shown, the new item still lands at the top level, which is shown after.
        tv(w)->setCurrentItem(node(w, {"docs"}));
        EXPECT_EQ(listing(w), (std::vector<std::string>{"sub", "d1.txt"}));
        selectInFilePane(w, tmp / "src", {"c.txt"});
        w.BtnAddFileClick();
        EXPECT_EQ(tv(w)->currentItem(), tv(w)->topLevelItem(0));
        EXPECT_EQ(listing(w), (std::vector<std::string>{"docs", "a.txt", "c.txt"}));

        // Nothing selected: nothing at all happens, not even with no archive open.
        const std::string before = readFile(path);
        FileListBox1(w)->clearSelection();
        w.BtnAddFileClick();
        EXPECT_EQ(readFile(path), before);
    }
    EXPECT_EQ(names(archiveRows(path)),
              (std::set<std::pair<std::string, std::string>>{
                  {"", "a.txt"}, {"", "c.txt"}, {"", "docs"}, {"docs", "d1.txt"}, {"docs", "sub"}, {"sub", "d2.txt"}}));
}

TEST_F(CommandsTest, CancelOfALongAddLeavesAValidArchiveWithTheFilesDoneSoFar) {
    for (int i = 0; i < 6; ++i) writeFile(tmp / ("src/many/f" + std::to_string(i)), std::string(1000, 'a' + i));
    const std::string path = tmp / "cancel.oru";
    // The user presses Cancel once the folder and its first file are done.
    class StopSoon : public oru::Progress {
    public:
        void update(const Info& info) override { done_ = info.itemsDone; }
        bool cancelled() override { return done_ >= 2; }
    private:
        uint64_t done_ = 0;
    };
    std::vector<std::string> shown;
    TApplication::instance()->showError = [&](const QString& t) { shown.push_back(t.toStdString()); };
    {
        TMainFrm w({});
        SaveDialog::answerWith([&] { return std::optional<std::string>(path); });
        ProgressDialog::answerWith([](const QString&, bool) -> std::unique_ptr<oru::Progress> { return std::make_unique<StopSoon>(); });
        w.BtnNewFileClick();
        selectInFilePane(w, tmp / "src", {"[many]"});
        EXPECT_FALSE(w.runCommand([&] { w.BtnAddFileClick(); }));
        EXPECT_EQ(treeText(w), "R(many)");  // what was added is shown
    }
    TApplication::instance()->showError = nullptr;
    EXPECT_TRUE(shown.empty());  // a cancellation is no error
    auto archive = oru::TKiv::OpenExisting(path);
    CatalogTable& c = archive->Catalog();
    int files = 0;
    for (c.First(); !c.AtEnd(); c.Next()) {
        if (c.GetInteger("FileType") != 1) continue;
        ++files;
        oru::MemoryStream content;
        archive->ReadEntry(c, content);
        EXPECT_EQ(content.size(), 1000);
    }
    EXPECT_GE(files, 1);
    EXPECT_LT(files, 6);
}

TEST_F(CommandsTest, ProgressDialogOffersCancelOnlyWhereItCanStop) {
    TMainFrm w({});
    TProgressSink add(&w, QStringLiteral("加入壓縮"), true, 0);
    add.update({1, 10, 100, "a.txt"});
    ASSERT_NE(add.dialog(), nullptr);
    EXPECT_TRUE(add.dialog()->isVisible());
    EXPECT_FALSE(add.cancelled());
    add.dialog()->cancel();
    EXPECT_TRUE(add.cancelled());

    TProgressSink compact(&w, QStringLiteral("重整檔案"), false, 0);
    compact.update({});
    ASSERT_NE(compact.dialog(), nullptr);
    compact.dialog()->cancel();
    EXPECT_FALSE(compact.cancelled());

    TProgressSink quick(&w, QStringLiteral("x"), true, 60'000);
    quick.update({});
    EXPECT_EQ(quick.dialog(), nullptr);  // short work shows no dialog
}

TEST_F(CommandsTest, ExtractWritesTheSelectionOrTheListedFolderIntoANewDirectory) {
    writeFile(tmp / "src/a.txt", "alpha");
    writeFile(tmp / "src/b.txt", "beta");
    writeFile(tmp / "src/docs/d1.txt", "d1");
    writeFile(tmp / "src/docs/sub/d2.txt", "d2");
    makeArchive(tmp / "x.oru", {tmp / "src/docs", tmp / "src/a.txt", tmp / "src/b.txt"});
    auto w = openWindow(tmp / "x.oru");
    std::string target;
    FolderChooser::answerWith([&] { return std::optional<std::string>(target); });

    // The selection: docs and b.txt, into a directory that does not exist yet.
    target = tmp / "out/deep/new";
    DBGrid1(*w)->clickRow(rowOf(*w, "docs"), false);
    DBGrid1(*w)->clickRow(rowOf(*w, "b.txt"), true);
    w->BtnExtractClick();
    EXPECT_EQ(readFile(target + "/docs/d1.txt"), "d1");
    EXPECT_EQ(readFile(target + "/docs/sub/d2.txt"), "d2");
    EXPECT_EQ(readFile(target + "/b.txt"), "beta");
    EXPECT_FALSE(fsys::exists(target + "/a.txt"));

    // Nothing selected: every row of the listed folder, here docs.
    tv(*w)->setCurrentItem(node(*w, {"docs"}));
    target = tmp / "out2";
    w->BtnExtractClick();
    EXPECT_EQ(readFile(target + "/d1.txt"), "d1");
    EXPECT_EQ(readFile(target + "/sub/d2.txt"), "d2");
    EXPECT_FALSE(fsys::exists(target + "/a.txt"));

    // The directory pane is read again: a directory made by the extraction shows in it.
    fsys::create_directories(tmp / "out3");
    DirectoryListBox1(*w)->setDirectory(QString::fromStdString(tmp / "out3"));
    target = tmp / "out3";
    w->BtnExtractClick();
    EXPECT_EQ(DirectoryListBox1(*w)->findItems(QStringLiteral("sub"), Qt::MatchEndsWith).size(), 1);

    // Cancelled chooser: nothing happens.
    FolderChooser::answerWith([] { return std::optional<std::string>(); });
    EXPECT_NO_THROW(w->BtnExtractClick());
}

TEST_F(CommandsTest, FolderChooserOffersHomeVolumesAndTheUsersBookmarks) {
    fsys::create_directories(tmp / "work");
    fsys::create_directories(tmp / "my docs");
    const QString work = QString::fromStdString(tmp / "work");
    writeFile(tmp / "bookmarks", "file://" + tmp / "work" + " Work\n" +
                                     QUrl::fromLocalFile(QString::fromStdString(tmp / "my docs")).toEncoded().toStdString() +
                                     "\n" + "file://" + tmp / "gone" + " Gone\n" + "sftp://host/x Remote\n" +
                                     "file://" + tmp / "work" + " Twice\n");
    const QList<Place> places = folderPlaces(QString::fromStdString(tmp / "bookmarks"));
    std::vector<std::pair<std::string, std::string>> shown;
    for (const Place& p : places) shown.emplace_back(p.label.toStdString(), p.path.toStdString());
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), std::make_pair(std::string("Home"), QDir::homePath().toStdString()));
    EXPECT_EQ(std::count(shown.begin(), shown.end(), std::make_pair(std::string("/"), std::string("/"))), 1);
    // Bookmarks in their order after the rest; a missing folder, another scheme and a second
    // bookmark of one folder are left out; a bookmark without label is named after its folder.
    const std::vector<std::pair<std::string, std::string>> bookmarks(shown.end() - 2, shown.end());
    EXPECT_EQ(bookmarks, (std::vector<std::pair<std::string, std::string>>{{"Work", tmp / "work"}, {"my docs", tmp / "my docs"}}));

    // Choosing a place shows it, ready for OK.
    TSelectDirDlg dialog(nullptr, QString::fromStdString(tmp.path()));
    auto* list = dialog.findChild<QListWidget*>(QStringLiteral("Places1"));
    ASSERT_NE(list, nullptr);
    ASSERT_GT(list->count(), 0);
    Q_EMIT list->itemClicked(list->item(0));
    EXPECT_EQ(dialog.directory(), QDir::homePath());
}

TEST_F(CommandsTest, FolderChooserAsksBeforeAcceptingAMissingDirectory) {
    TSelectDirDlg dialog(nullptr, QString::fromStdString(tmp.path()));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Select Directory"));
    EXPECT_EQ(dialog.directory().toStdString(), tmp.path());
    std::vector<QString> asked;
    bool answer = false;
    QuestionBox::answerWith([&](const QString& q) {
        asked.push_back(q);
        return answer;
    });
    dialog.tryAccept();  // an existing directory needs no question
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(asked.empty());

    dialog.setResult(QDialog::Rejected);
    dialog.setDirectoryText(QString::fromStdString(tmp / "nope/deeper"));
    dialog.tryAccept();  // No: back to the chooser
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], QStringLiteral("The specified directory does not exist. Create it?"));
    answer = true;
    dialog.tryAccept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.directory().toStdString(), tmp / "nope/deeper");
}

TEST_F(CommandsTest, DeleteOfASelectedFolderCompactsAndKeepsTheFolderShown) {
    writeFile(tmp / "src/a.txt", "alpha");
    writeFile(tmp / "src/docs/d1.txt", std::string(5000, 'x'));
    writeFile(tmp / "src/docs/sub/d2.txt", std::string(5000, 'y'));
    const std::string path = tmp / "del.oru";
    makeArchive(path, {tmp / "src/docs", tmp / "src/a.txt"});
    const auto sizeBefore = fsys::file_size(path);
    {
        auto w = openWindow(path);
        DBGrid1(*w)->clickRow(rowOf(*w, "docs"), false);
        QString asked;
        QuestionBox::answerWith([&](const QString& question) {
            asked = question;
            return true;
        });
        w->BtnDeleteClick();
        EXPECT_EQ(asked, QStringLiteral("要刪除「docs」和它裡面的所有項目嗎？"));
        EXPECT_LT(fsys::file_size(path), sizeBefore);
        EXPECT_EQ(listing(*w), std::vector<std::string>{"a.txt"});
        EXPECT_EQ(DBGrid1(*w)->SelectedCount(), 0);
        EXPECT_EQ(w->CurrentArchive()->Catalog().FilterText(), CatalogTable::parentFilter(""));
        EXPECT_EQ(treeText(*w), "R");  // the deleted folder's node is gone
    }
    const std::set<Row> rows = archiveRows(path);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.begin()->name, "a.txt");
    EXPECT_EQ(rows.begin()->offset, 16);
}

// Delete acts on the rows the user sees highlighted, never on the cursor's row alone, and only
// once the user has said yes to their names.
TEST_F(CommandsTest, DeleteAsksFirstAndActsOnlyOnHighlightedRows) {
    writeFile(tmp / "src/y.txt", "why");
    writeFile(tmp / "src/z.txt", "zed");
    writeFile(tmp / "src/子資料夾/in.txt", "in");
    const std::string path = tmp / "cur.oru";
    makeArchive(path, {tmp / "src/子資料夾", tmp / "src/y.txt", tmp / "src/z.txt"});
    auto w = openWindow(path);
    std::vector<QString> told, asked;
    NoticeBox::answerWith([&](const QString& text) { told.push_back(text); });
    bool answer = false;
    QuestionBox::answerWith([&](const QString& question) {
        asked.push_back(question);
        return answer;
    });
    const std::string before = readFile(path);

    // The cursor on z.txt, nothing highlighted: the user is told what to do, nothing goes.
    w->listingModel()->setCurrentRow(rowOf(*w, "z.txt"));
    w->BtnDeleteClick();
    EXPECT_EQ(told, std::vector<QString>{nothingToDeleteHint()});
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(readFile(path), before);

    const QString question = QStringLiteral("要刪除這 2 個項目嗎？\n\n子資料夾（和它裡面的所有項目）\nz.txt");
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes);
        asked.clear();
        answer = yes;
        DBGrid1(*w)->clickRow(rowOf(*w, "子資料夾"), false);
        DBGrid1(*w)->clickRow(rowOf(*w, "z.txt"), true);
        w->BtnDeleteClick();
        EXPECT_EQ(asked, std::vector<QString>{question});
        if (yes) {
            EXPECT_EQ(listing(*w), std::vector<std::string>{"y.txt"});
            EXPECT_LT(readFile(path).size(), before.size());
        } else {
            EXPECT_EQ(listing(*w), (std::vector<std::string>{"子資料夾", "y.txt", "z.txt"}));
            EXPECT_EQ(readFile(path), before);
        }
    }
}

TEST_F(CommandsTest, DeleteQuestionNamesTheFirstFewAndCountsTheRest) {
    const struct {
        std::vector<DeleteItem> items;
        QString question;
    } cases[] = {
        {{{QStringLiteral("a.txt"), false}}, QStringLiteral("要刪除「a.txt」嗎？")},
        {{{QStringLiteral("子資料夾"), true}}, QStringLiteral("要刪除「子資料夾」和它裡面的所有項目嗎？")},
        {{{QStringLiteral("1"), false}, {QStringLiteral("2"), true}, {QStringLiteral("3"), false},
          {QStringLiteral("4"), false}, {QStringLiteral("5"), false}, {QStringLiteral("6"), false}, {QStringLiteral("7"), false}},
         QStringLiteral("要刪除這 7 個項目嗎？\n\n1\n2（和它裡面的所有項目）\n3\n4\n5\n……以及另外 2 個項目")},
    };
    for (const auto& c : cases) EXPECT_EQ(deleteQuestion(c.items), c.question);
}

TEST_F(CommandsTest, FailedDeleteStillResumesTheListing) {
    writeFile(tmp / "src/a.txt", "alpha");
    writeFile(tmp / "src/b.txt", "beta");
    writeFile(tmp / "src/docs/d.txt", "d");
    const std::string path = tmp / "fail.oru";
    makeArchive(path, {tmp / "src/docs", tmp / "src/a.txt", tmp / "src/b.txt"});
    // Compaction cannot create its temporary file where a directory stands.
    fsys::create_directories(oru::TKiv::TempPathFor(path));
    auto w = openWindow(path);
    QuestionBox::answerWith([](const QString&) { return true; });
    DBGrid1(*w)->clickRow(rowOf(*w, "a.txt"), false);
    EXPECT_THROW(w->BtnDeleteClick(), oru::Error);
    const CatalogTable& catalog = w->CurrentArchive()->Catalog();
    std::vector<std::string> view;
    for (int i = 0; i < catalog.ViewSize(); ++i) view.push_back(catalog.TextAt(i, "FileName"));
    EXPECT_EQ(listing(*w), view);
    tv(*w)->setCurrentItem(node(*w, {"docs"}));  // later changes reach the listing again
    EXPECT_EQ(listing(*w), std::vector<std::string>{"d.txt"});
}

TEST_F(CommandsTest, FailedAddShowsWhatWentInAndKeepsTheFolderShown) {
    writeFile(tmp / "src/a.txt", "alpha");
    writeFile(tmp / "src/docs/d.txt", "d");
    const std::string path = tmp / "src/z.oru";
    makeArchive(path, {tmp / "src/docs"});
    auto w = openWindow(path);
    tv(*w)->setCurrentItem(node(*w, {"docs"}));
    std::vector<std::string> shown;
    TApplication::instance()->showError = [&](const QString& t) { shown.push_back(t.toStdString()); };
    // a.txt goes in; a file of 2 GiB, more than an archive can hold, fails.
    oru::FileStream(tmp / "src/big.bin", oru::FileStream::Mode::Create).setSize(int64_t{1} << 31);  // sparse
    selectInFilePane(*w, tmp / "src", {"a.txt", "big.bin"});
    EXPECT_FALSE(w->runCommand([&] { w->BtnAddFileClick(); }));
    TApplication::instance()->showError = nullptr;
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("big.bin"), std::string::npos) << shown[0];
    EXPECT_EQ(tv(*w)->currentItem(), node(*w, {"docs"}));
    EXPECT_TRUE(tv(*w)->topLevelItem(0)->isExpanded());
    tv(*w)->setCurrentItem(tv(*w)->topLevelItem(0));
    EXPECT_EQ(listing(*w), (std::vector<std::string>{"docs", "a.txt"}));
}

TEST_F(CommandsTest, RebuildStoresFilesInListingOrder) {
    writeFile(tmp / "src/a.txt", "aaaa");
    writeFile(tmp / "src/b.txt", "bbbbbbbb");
    const std::string path = tmp / "order.oru";
    std::string afterFirst, afterSecond;
    {
        TMainFrm w({});
        QAbstractItemModelTester tester(w.listingModel(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        SaveDialog::answerWith([&] { return std::optional<std::string>(path); });
        w.BtnNewFileClick();
        selectInFilePane(w, tmp / "src", {"b.txt"});
        w.BtnAddFileClick();
        selectInFilePane(w, tmp / "src", {"a.txt"});
        w.BtnAddFileClick();
        w.BtnBuildExeClick();
        afterFirst = readFile(path);
        w.BtnBuildExeClick();
        afterSecond = readFile(path);
    }
    EXPECT_EQ(afterFirst, afterSecond);  // a second Rebuild moves nothing
    std::map<std::string, int> offsets;
    for (const Row& r : archiveRows(path)) offsets[r.name] = r.offset;
    EXPECT_EQ(offsets["a.txt"], 16);
    EXPECT_GT(offsets["b.txt"], 16);
}

TEST_F(CommandsTest, BrowseShowsTheTextInItsOwnWindowAndRefusesFolders) {
    writeFile(tmp / "src/t.txt", "line1\nline2\n");
    writeFile(tmp / "src/docs/d.txt", "d");
    makeArchive(tmp / "view.oru", {tmp / "src/docs", tmp / "src/t.txt"});
    auto w = openWindow(tmp / "view.oru");

    DBGrid1(*w)->clickRow(rowOf(*w, "docs"), false);
    try {
        w->BtnBrowseClick();
        ADD_FAILURE() << "a folder row opened a viewer";
    } catch (const oru::Error& e) {
        EXPECT_STREQ(e.what(), "docs是一個目錄");
    }
    EXPECT_TRUE(w->findChildren<TfmBrowse*>().isEmpty());

    DBGrid1(*w)->clickRow(rowOf(*w, "t.txt"), false);
    w->BtnBrowseClick();
    w->BtnBrowseClick();
    const QList<TfmBrowse*> viewers = w->findChildren<TfmBrowse*>();
    ASSERT_EQ(viewers.size(), 2);  // independent windows
    QPointer<TfmBrowse> viewer = viewers.front();
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("t.txt"));
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_TRUE(viewer->isWindow());
    EXPECT_EQ(viewer->documentSource(), QStringLiteral("line1\nline2\n"));

    // Closing the archive leaves the viewer's text; closing the viewer frees it.
    OpenDialog::answerWith([] { return std::optional<std::string>(); });
    w->BtnOpenFileClick();
    EXPECT_EQ(viewer->documentSource(), QStringLiteral("line1\nline2\n"));
    viewer->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(viewer.isNull());
}

TEST_F(CommandsTest, ViewerRendersOnlyHtmlFilesAndShowsBigFilesInPart) {
    writeFile(tmp / "src/page.html", "<b>bold</b> \xA4\xA4");
    writeFile(tmp / "src/note.txt", "<b>bold?</b> 1 < 2 & 3\n\xE4\xB8\xAD\n");
    writeFile(tmp / "src/big5.txt", "\xA4\xA4\xA4\xE5\r\n");
    writeFile(tmp / "src/big.log", std::string(kViewLimit + 5000, 'x'));
    makeArchive(tmp / "v.oru", {tmp / "src/page.html", tmp / "src/note.txt", tmp / "src/big5.txt", tmp / "src/big.log"});
    auto w = openWindow(tmp / "v.oru");
    struct Case {
        std::string name;
        bool html;
        QString shown;  // the start of what the view shows
        bool note;
    } cases[] = {
        {"page.html", true, QStringLiteral("bold 中"), false},
        {"note.txt", false, QStringLiteral("<b>bold?</b> 1 < 2 & 3\n中\n"), false},
        {"big5.txt", false, QStringLiteral("中文\n"), false},
        {"big.log", false, QString(kViewLimit, u'x'), true},
    };
    for (const Case& c : cases) {
        DBGrid1(*w)->clickRow(rowOf(*w, c.name), false);
        w->BtnBrowseClick();
        QPointer<TfmBrowse> viewer = w->findChildren<TfmBrowse*>().back();
        EXPECT_EQ(viewer->showsHtml(), c.html) << c.name;
        const QString shown = c.html ? viewer->WebBrowser1->toPlainText() : viewer->TextView1->toPlainText() + u'\n';
        EXPECT_TRUE(shown.startsWith(c.html ? c.shown : c.shown.left(c.shown.size() - 1))) << c.name;
        if (!c.html) EXPECT_EQ(viewer->documentSource(), c.shown) << c.name;
        EXPECT_EQ(viewer->Note1->isVisibleTo(viewer), c.note) << c.name;
        viewer->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(CommandsTest, EscapeAndCtrlWCloseTheViewer) {
    writeFile(tmp / "src/t.txt", "text");
    makeArchive(tmp / "k.oru", {tmp / "src/t.txt"});
    auto w = openWindow(tmp / "k.oru");
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        DBGrid1(*w)->clickRow(0, false);
        w->BtnBrowseClick();
        QPointer<TfmBrowse> viewer = w->findChildren<TfmBrowse*>().back();
        viewer->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(viewer));
        QTest::keySequence(viewer->TextView1, key);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(viewer.isNull()) << key.toString().toStdString();
    }
}

// The names in the order the grid shows them.
std::vector<std::string> shownNames(const TMainFrm& w) {
    const QAbstractItemModel* shown = DBGrid1(w)->model();
    std::vector<std::string> names;
    for (int r = 0; r < shown->rowCount(); ++r) names.push_back(shown->index(r, 0).data().toString().toStdString());
    return names;
}

TEST_F(CommandsTest, ColumnSortShowsRowsInOrderButNeverReordersTheCatalog) {
    writeFile(tmp / "src/b.txt", std::string(8, 'b'));
    writeFile(tmp / "src/a.txt", std::string(30000, 'a'));
    writeFile(tmp / "src/c.dat", std::string(20, 'c'));
    writeFile(tmp / "src/docs/d.txt", "d");
    const std::string path = tmp / "sort.oru";
    makeArchive(path, {tmp / "src/docs", tmp / "src/b.txt", tmp / "src/a.txt", tmp / "src/c.dat"});
    auto w = openWindow(path);
    new QAbstractItemModelTester(DBGrid1(*w)->model(), QAbstractItemModelTester::FailureReportingMode::Fatal, w.get());
    w->BtnBuildExeClick();
    const std::string rebuiltBefore = readFile(path);
    const std::vector<std::string> catalogOrder = listing(*w);
    ASSERT_EQ(catalogOrder, (std::vector<std::string>{"docs", "a.txt", "b.txt", "c.dat"}));

    struct Case {
        int column;
        Qt::SortOrder order;
        std::vector<std::string> shown;
    } cases[] = {
        {CatalogModel::ColOriginalSize, Qt::AscendingOrder, {"docs", "b.txt", "c.dat", "a.txt"}},
        {CatalogModel::ColOriginalSize, Qt::DescendingOrder, {"docs", "a.txt", "c.dat", "b.txt"}},  // folders first
        {CatalogModel::ColFileName, Qt::DescendingOrder, {"docs", "c.dat", "b.txt", "a.txt"}},
        {-1, Qt::AscendingOrder, {"docs", "a.txt", "b.txt", "c.dat"}},  // back to the catalog's order
    };
    for (const Case& c : cases) {
        DBGrid1(*w)->horizontalHeader()->setSortIndicator(c.column, c.order);
        EXPECT_EQ(shownNames(*w), c.shown) << c.column << " " << c.order;
        EXPECT_EQ(listing(*w), catalogOrder);
    }

    // Sorted by size, largest first: the second row shown is a.txt, and selecting it takes a.txt.
    DBGrid1(*w)->horizontalHeader()->setSortIndicator(CatalogModel::ColOriginalSize, Qt::DescendingOrder);
    DBGrid1(*w)->clickRow(1, false);
    EXPECT_EQ(DBGrid1(*w)->selectedRows(), std::vector<int>{1});
    CatalogTable& catalog = w->CurrentArchive()->Catalog();
    catalog.GotoBookmark(DBGrid1(*w)->SelectedBookmark(0));
    EXPECT_EQ(catalog.GetText("FileName"), "a.txt");
    EXPECT_EQ(DBGrid1(*w)->currentIndex().row(), 1);  // the grid's cursor follows the catalog's

    // Rebuild still stores in the catalog's order: the file is the same as before the sort.
    w->BtnBuildExeClick();
    EXPECT_EQ(readFile(path), rebuiltBefore);
}

TEST_F(CommandsTest, ColumnsFitTheirTextAndTheNameTakesTheWidth) {
    writeFile(tmp / "src/a-file-with-a-rather-long-name.txt", std::string(1234567, 'a'));
    makeArchive(tmp / "w.oru", {tmp / "src/a-file-with-a-rather-long-name.txt"});
    auto w = openWindow(tmp / "w.oru");
    w->resize(700, 500);
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    QHeaderView* header = DBGrid1(*w)->horizontalHeader();
    const QAbstractItemModel* shown = DBGrid1(*w)->model();
    for (int c = CatalogModel::ColOriginalSize; c < CatalogModel::ColumnCount; ++c) {
        const QString text = shown->index(0, c).data().toString();
        EXPECT_GT(header->sectionSize(c), DBGrid1(*w)->fontMetrics().horizontalAdvance(text)) << text.toStdString();
    }
    EXPECT_EQ(shown->index(0, CatalogModel::ColOriginalSize).data().toString(), QStringLiteral("1.234.567"));
    EXPECT_TRUE(shown->index(0, CatalogModel::ColOriginalSize).data(Qt::TextAlignmentRole).value<Qt::Alignment>() &
                Qt::AlignRight);
    EXPECT_FALSE(shown->index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    const int nameBefore = header->sectionSize(0), dateBefore = header->sectionSize(CatalogModel::ColCheckinDate);
    w->resize(1000, 500);
    QCoreApplication::processEvents();
    EXPECT_GT(header->sectionSize(0), nameBefore + 200);
    EXPECT_EQ(header->sectionSize(CatalogModel::ColCheckinDate), dateBefore);
}

TEST_F(CommandsTest, StatusBarCountsTheFolderAndTheSelectionAndTellsTheLastOutcome) {
    writeFile(tmp / "src/a.txt", std::string(2000, 'a'));
    writeFile(tmp / "src/b.txt", std::string(1000, 'b'));
    writeFile(tmp / "src/docs/d.txt", "d");
    makeArchive(tmp / "s.oru", {tmp / "src/docs", tmp / "src/a.txt", tmp / "src/b.txt"});
    auto w = openWindow(tmp / "s.oru");
    QCoreApplication::processEvents();
    EXPECT_EQ(FolderStatus(*w)->text(), QStringLiteral("1 個資料夾，2 個檔案，2,93 KiB"));
    EXPECT_EQ(SelectionStatus(*w)->text(), QString());
    DBGrid1(*w)->clickRow(rowOf(*w, "b.txt"), false);
    QCoreApplication::processEvents();
    EXPECT_EQ(SelectionStatus(*w)->text(), QStringLiteral("已選取 1 項，1.000 Bytes"));
    w->BtnBuildExeClick();
    EXPECT_TRUE(OutcomeStatus(*w)->text().startsWith(QStringLiteral("已重整檔案"))) << OutcomeStatus(*w)->text().toStdString();
}

TEST_F(CommandsTest, DoubleClickEntersFoldersViewsTextAndOpensOtherFilesFromACopy) {
    writeFile(tmp / "src/docs/d.txt", "d");
    writeFile(tmp / "src/note.txt", "plain words\n");
    writeFile(tmp / "src/pic.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    makeArchive(tmp / "d.oru", {tmp / "src/docs", tmp / "src/note.txt", tmp / "src/pic.png"});
    auto w = openWindow(tmp / "d.oru");
    std::vector<std::string> opened;
    ExternalOpener::answerWith([&](const QString& p) { opened.push_back(readFile(p.toStdString())); });

    DBGrid1(*w)->rowActivated(rowOf(*w, "note.txt"));
    ASSERT_EQ(w->findChildren<TfmBrowse*>().size(), 1);
    EXPECT_EQ(w->findChildren<TfmBrowse*>().front()->documentSource(), QStringLiteral("plain words\n"));
    DBGrid1(*w)->rowActivated(rowOf(*w, "pic.png"));
    EXPECT_EQ(opened, std::vector<std::string>{std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)});

    DBGrid1(*w)->rowActivated(rowOf(*w, "docs"));
    EXPECT_EQ(tv(*w)->currentItem(), node(*w, {"docs"}));
    EXPECT_EQ(listing(*w), std::vector<std::string>{"d.txt"});
    QTest::keyClick(DBGrid1(*w), Qt::Key_Backspace);  // back to the folder above
    EXPECT_EQ(tv(*w)->currentItem(), tv(*w)->topLevelItem(0));
}

TEST_F(CommandsTest, ProgressCountsItemsAndBytesOverTheWholeCommand) {
    writeFile(tmp / "src/a.txt", std::string(3000, 'a'));
    writeFile(tmp / "src/docs/d1.txt", std::string(5000, 'd'));
    writeFile(tmp / "src/docs/d2.txt", std::string(2000, 'e'));
    class Recorder : public oru::Progress {
    public:
        explicit Recorder(std::vector<Info>& seen) : seen_(seen) {}
        void update(const Info& info) override { seen_.push_back(info); }
    private:
        std::vector<Info>& seen_;
    };
    std::vector<oru::Progress::Info> seen;
    TMainFrm w({});
    ProgressDialog::answerWith([&](const QString&, bool) -> std::unique_ptr<oru::Progress> { return std::make_unique<Recorder>(seen); });
    SaveDialog::answerWith([&] { return std::optional<std::string>(tmp / "p.oru"); });
    w.BtnNewFileClick();
    selectInFilePane(w, tmp / "src", {"[docs]", "a.txt"});
    w.BtnAddFileClick();
    ASSERT_FALSE(seen.empty());
    for (size_t i = 1; i < seen.size(); ++i) {
        EXPECT_GE(seen[i].itemsDone, seen[i - 1].itemsDone);
        EXPECT_GE(seen[i].bytesDone, seen[i - 1].bytesDone);
        EXPECT_EQ(seen[i].bytesTotal, 10000u);
    }
    EXPECT_EQ(seen.back().itemsDone, 4u);  // docs, d1.txt, d2.txt, a.txt
    EXPECT_EQ(seen.back().bytesDone, 10000u);
    EXPECT_EQ(seen.back().currentName.substr(seen.back().currentName.size() - 5), "a.txt");

    // Extract of the whole top level: the total is every file below it.
    seen.clear();
    FolderChooser::answerWith([&] { return std::optional<std::string>(tmp / "out"); });
    w.BtnExtractClick();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().bytesTotal, 10000u);
    EXPECT_EQ(seen.back().bytesDone, 10000u);
    EXPECT_EQ(seen.back().itemsDone, 3u);
}

TEST_F(CommandsTest, FilesDroppedOnTheListingGoIntoTheFolderShownAndRowsDragOutAsFiles) {
    writeFile(tmp / "src/docs/d.txt", "d");
    writeFile(tmp / "drop/new.txt", "new");
    writeFile(tmp / "drop/more/m.txt", "m");
    makeArchive(tmp / "dd.oru", {tmp / "src/docs"});
    auto w = openWindow(tmp / "dd.oru");
    tv(*w)->setCurrentItem(node(*w, {"docs"}));

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(tmp / "drop/new.txt")),
                  QUrl::fromLocalFile(QString::fromStdString(tmp / "drop/more"))});
    QWidget* target = DBGrid1(*w)->viewport();
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    EXPECT_EQ(tv(*w)->currentItem(), node(*w, {"docs"}));
    EXPECT_EQ(listing(*w), (std::vector<std::string>{"more", "d.txt", "new.txt"}));
    EXPECT_EQ(treeText(*w), "R(docs(more))");

    // Dragging rows out: the selection extracted to a private folder, handed on as file URLs.
    DBGrid1(*w)->clickRow(rowOf(*w, "more"), false);
    DBGrid1(*w)->clickRow(rowOf(*w, "new.txt"), true);
    std::unique_ptr<QMimeData> out(w->dragData());
    ASSERT_NE(out, nullptr);
    std::set<std::string> names;
    for (const QUrl& url : out->urls()) names.insert(url.fileName().toStdString());
    EXPECT_EQ(names, (std::set<std::string>{"more", "new.txt"}));
    for (const QUrl& url : out->urls()) {
        if (url.fileName() == u"more") EXPECT_EQ(readFile(url.toLocalFile().toStdString() + "/m.txt"), "m");
        if (url.fileName() == u"new.txt") EXPECT_EQ(readFile(url.toLocalFile().toStdString()), "new");
    }
}

TEST_F(CommandsTest, CommandsWithNoArchiveOpenSayNoArchiveIsOpen) {
    writeFile(tmp / "src/a.txt", "a");
    TMainFrm w({});
    bool chooserRan = false;
    FolderChooser::answerWith([&] {
        chooserRan = true;
        return std::optional<std::string>(tmp.path());
    });
    selectInFilePane(w, tmp / "src", {"a.txt"});
    for (auto command : {&TMainFrm::BtnAddFileClick, &TMainFrm::BtnDeleteClick, &TMainFrm::BtnExtractClick,
                         &TMainFrm::BtnBuildExeClick, &TMainFrm::BtnBrowseClick}) {
        try {
            (w.*command)();
            ADD_FAILURE() << "no message";
        } catch (const oru::Error& e) {
            EXPECT_EQ(e.kind(), oru::ErrorKind::NoArchiveOpen);
        }
    }
    EXPECT_FALSE(chooserRan);
}

}  // namespace
}  // namespace oru::ui
