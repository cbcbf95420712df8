// SPDX-License-Identifier: GPL-3.0-or-later
// The window's menu bar and keys, the recent archives, Test and Properties, and the find field,
// driven through the real window.

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "platform/Error.h"
#include "ui/ArchiveReport.h"
#include "ui/DBGrid.h"
#include "WindowTestSupport.h"

namespace oru::ui {
namespace {

using namespace testing;

class MenusAndFindTest : public ::testing::Test {
protected:
    TempDir tmp;
    FixedClock clock{oru::clock::fromLocal(2024, 3, 4, 10, 20, 30)};

    void SetUp() override {
        QSettings().remove(QStringLiteral("recentArchives"));
    }

    // src/: top.txt, b/b.txt, b/x/x1.txt, a/x/x2.txt
    std::string nestedArchive() {
        writeFile(tmp / "src/top.txt", "top");
        writeFile(tmp / "src/a/x/x2.txt", "two");
        writeFile(tmp / "src/b/b.txt", "bee");
        writeFile(tmp / "src/b/x/x1.txt", "one");
        const std::string path = tmp / "nested.oru";
        makeArchive(path, {tmp / "src/b", tmp / "src/a", tmp / "src/top.txt"}, {{"x~1", "x"}});
        return path;
    }

    // A shown window with its archive open and the keyboard focus on the listing.
    std::unique_ptr<TMainFrm> shownWindow(const std::string& path) {
        auto w = std::make_unique<TMainFrm>(std::vector<std::string>{path});
        w->FormCreate();
        w->show();
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
        DBGrid1(*w)->setFocus();
        return w;
    }

    static QAction* menuAction(QMenuBar* bar, const QString& text) {
        for (QAction* top : bar->actions())
            for (QAction* a : top->menu()->actions())
                if (a->text() == text) return a;
        return nullptr;
    }
};

TEST_F(MenusAndFindTest, MenuBarOffersTheCommandsWithTheirKeys) {
    TMainFrm w({});
    struct Case {
        const char* text;
        QKeySequence key;
    } cases[] = {
        {"新壓縮檔(&N)...", QKeySequence(QKeySequence::New)},
        {"開啟壓縮檔(&O)...", QKeySequence(QKeySequence::Open)},
        {"內容(&P)...", QKeySequence(Qt::ALT | Qt::Key_Return)},
        {"離開(&X)", QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {"加入壓縮(&A)", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A)},
        {"解壓縮到(&E)...", QKeySequence(Qt::CTRL | Qt::Key_E)},
        {"刪除(&D)", QKeySequence(Qt::Key_Delete)},
        {"檢視(&V)", QKeySequence(Qt::Key_F3)},
        {"以預設應用程式開啟(&P)", QKeySequence(Qt::SHIFT | Qt::Key_Return)},
        {"測試(&T)", QKeySequence(Qt::CTRL | Qt::Key_T)},
        {"重整檔案(&B)", QKeySequence()},
        {"尋找(&F)", QKeySequence(QKeySequence::Find)},
        {"重新整理(&R)", QKeySequence(Qt::Key_F5)},
        {"全選(&S)", QKeySequence(QKeySequence::SelectAll)},
        {"上一層資料夾(&U)", QKeySequence(Qt::ALT | Qt::Key_Up)},
    };
    for (const Case& c : cases) {
        QAction* action = menuAction(w.menuBar(), QString::fromUtf8(c.text));
        ASSERT_NE(action, nullptr) << c.text;
        EXPECT_EQ(action->shortcut(), c.key) << c.text;
    }
}

TEST_F(MenusAndFindTest, KeysReachTheirCommandsWhereTheyMeanThem) {
    const std::string path = nestedArchive();
    auto w = shownWindow(path);
    int opened = 0;
    OpenDialog::answerWith([&] {
        ++opened;
        return std::optional<std::string>();
    });
    QTest::keySequence(w.get(), QKeySequence::Open);
    EXPECT_EQ(opened, 1);
    OpenDialog::answerWith([&] { return std::optional<std::string>(path); });
    w->BtnOpenFileClick();
    QuestionBox::answerWith([](const QString&) { return true; });  // Delete's question
    DBGrid1(*w)->setFocus();

    // Ctrl+A selects every row; Del deletes them only from the listing.
    QTest::keySequence(DBGrid1(*w), QKeySequence::SelectAll);
    EXPECT_EQ(DBGrid1(*w)->SelectedCount(), 3);
    DBGrid1(*w)->clickRow(listing(*w).size() - 1, false);  // top.txt
    FileListBox1(*w)->setFocus();
    QTest::keyClick(FileListBox1(*w), Qt::Key_Delete);
    EXPECT_EQ(listing(*w).size(), 3u);
    DBGrid1(*w)->setFocus();
    QTest::keyClick(DBGrid1(*w), Qt::Key_Delete);
    EXPECT_EQ(listing(*w), (std::vector<std::string>{"a", "b"}));

    // Tab leaves the listing; Alt+Up goes to the folder above.
    tv(*w)->setCurrentItem(node(*w, {"b", "x"}));
    DBGrid1(*w)->setFocus();
    QTest::keyClick(DBGrid1(*w), Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), DBGrid1(*w));
    DBGrid1(*w)->setFocus();
    QTest::keyClick(DBGrid1(*w), Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(tv(*w)->currentItem(), node(*w, {"b"}));
}

TEST_F(MenusAndFindTest, RecentArchivesKeepTheLastTenAndOpenAgain) {
    TMainFrm w({});
    std::vector<std::string> paths;
    for (int i = 0; i < 12; ++i) {
        paths.push_back(tmp / ("r" + std::to_string(i) + ".oru"));
        makeArchive(paths.back(), {});
        OpenDialog::answerWith([&] { return std::optional<std::string>(paths.back()); });
        w.BtnOpenFileClick();
    }
    OpenDialog::answerWith([&] { return std::optional<std::string>(paths[5]); });
    w.BtnOpenFileClick();  // opened again: to the front, not twice
    QStringList expected{QString::fromStdString(paths[5])};
    for (int i = 11; expected.size() < TMainFrm::kRecentCount; --i)
        if (i != 5) expected << QString::fromStdString(paths[i]);
    EXPECT_EQ(TMainFrm::recentArchives(), expected);

    // Its menu opens them.
    RecentMenu(w)->aboutToShow();
    ASSERT_EQ(RecentMenu(w)->actions().size(), TMainFrm::kRecentCount);
    RecentMenu(w)->actions().at(1)->trigger();
    EXPECT_EQ(w.ArchiveFileName(), paths[11]);
}

TEST_F(MenusAndFindTest, TestListsTheDamagedEntriesAndPropertiesShowTheFigures) {
    writeFile(tmp / "src/good.txt", std::string(4000, 'g'));
    writeFile(tmp / "src/docs/bad.txt", std::string(4000, 'b'));
    const std::string path = tmp / "t.oru";
    makeArchive(path, {tmp / "src/docs", tmp / "src/good.txt"});
    int64_t badOffset = 0;
    {
        auto archive = oru::TKiv::OpenExisting(path);
        CatalogTable& c = archive->Catalog();
        for (c.First(); !c.AtEnd(); c.Next())
            if (c.GetText("FileName") == "bad.txt") badOffset = c.GetInteger("Offset");
    }
    {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(badOffset + 4);
        f.put('\xFF').put('\xFF').put('\xFF');
    }
    TMainFrm w({path});
    w.FormCreate();
    QString summary;
    QStringList items;
    ReportDialog::answerWith([&](const QString&, const QString& s, const QStringList& i) {
        summary = s;
        items = i;
    });
    w.testArchive();
    EXPECT_EQ(summary, QStringLiteral("已測試 2 個檔案，1 個損壞："));
    ASSERT_EQ(items.size(), 1);
    EXPECT_TRUE(items[0].startsWith(QStringLiteral("docs/bad.txt: "))) << items[0].toStdString();

    w.showProperties();
    const QList<TPropertiesDlg*> dialogs = w.findChildren<TPropertiesDlg*>();
    ASSERT_EQ(dialogs.size(), 1);
    const ArchiveProperties p = propertiesOf(*w.CurrentArchive());
    EXPECT_EQ(p.fileSize, static_cast<int64_t>(std::filesystem::file_size(path)));
    EXPECT_EQ(p.originalBytes, 8000);
    EXPECT_EQ(p.deadBytes, 0);
    EXPECT_EQ(16 + p.storedBytes + p.catalogBytes, p.fileSize);
    EXPECT_EQ(dialogs[0]->valueOf(QStringLiteral("項目")), QStringLiteral("1 個資料夾，2 個檔案"));
    EXPECT_EQ(dialogs[0]->valueOf(QStringLiteral("原始大小")), QStringLiteral("7,81 KiB（8.000 位元組）"));
    EXPECT_EQ(dialogs[0]->valueOf(QStringLiteral("建立日期")), QStringLiteral("04.03.24 10:20:30"));
}

TEST_F(MenusAndFindTest, FindNarrowsTheFolderOrSearchesTheWholeArchive) {
    const std::string path = nestedArchive();
    TMainFrm w({path});
    w.FormCreate();
    new QAbstractItemModelTester(DBGrid1(w)->model(), QAbstractItemModelTester::FailureReportingMode::Fatal, &w);
    auto shown = [&w] {
        std::vector<std::string> names;
        const QAbstractItemModel* m = DBGrid1(w)->model();
        for (int r = 0; r < m->rowCount(); ++r) names.push_back(m->index(r, 0).data().toString().toStdString());
        return names;
    };
    FindEdit(w)->setText(QStringLiteral("T"));  // any case
    EXPECT_EQ(shown(), std::vector<std::string>{"top.txt"});
    FindEdit(w)->setText(QStringLiteral("x"));
    EXPECT_EQ(shown(), (std::vector<std::string>{"top.txt"}));
    WholeArchive(w)->setChecked(true);
    EXPECT_EQ(shown(), (std::vector<std::string>{"b/x", "a/x", "b/b.txt", "top.txt", "b/x/x1.txt", "b/x/x2.txt"}));
    FindEdit(w)->setText(QStringLiteral("X1"));
    EXPECT_EQ(shown(), (std::vector<std::string>{"b/x/x1.txt"}));
    // Extract with nothing selected takes what is shown, not every row of the archive.
    FolderChooser::answerWith([&] { return std::optional<std::string>(tmp / "found"); });
    w.BtnExtractClick();
    std::vector<std::string> written;
    for (const auto& e : std::filesystem::recursive_directory_iterator(tmp / "found"))
        written.push_back(e.path().filename().string());
    EXPECT_EQ(written, std::vector<std::string>{"x1.txt"});

    // Opening a result shows it in its folder, selected.
    const int x1 = [&] {
        for (int r = 0; r < w.listingModel()->rowCount(); ++r)
            if (w.listingModel()->fileName(r) == u"x1.txt") return r;
        return -1;
    }();
    DBGrid1(w)->rowActivated(x1);
    EXPECT_FALSE(WholeArchive(w)->isChecked());
    EXPECT_EQ(FindEdit(w)->text(), QString());
    EXPECT_EQ(tv(w)->currentItem()->text(0), QStringLiteral("x"));
    ASSERT_EQ(DBGrid1(w)->SelectedCount(), 1);
    EXPECT_EQ(shown(), (std::vector<std::string>{"x1.txt", "x2.txt"}));  // folders linked by name
    EXPECT_EQ(DBGrid1(w)->selectedRows(), std::vector<int>{0});
}

}  // namespace
}  // namespace oru::ui
