// SPDX-License-Identifier: GPL-3.0-or-later
// The window's state tells the truth: the rows drawn selected are the rows the commands act on,
// whatever keys selected them, and nothing said about one archive (its search, the outcome of a
// command) stays on screen for the next, nor after a command that did not complete.

#include <QAction>
#include <QMenuBar>
#include <QTest>
#include <filesystem>
#include <functional>

#include "platform/Error.h"
#include "ui/Browse.h"
#include "ui/CommandTexts.h"
#include "WindowTestSupport.h"

namespace oru::ui {
namespace {

using namespace testing;
namespace fsys = std::filesystem;

class WindowStateTest : public ::testing::Test {
protected:
    TempDir tmp;

    std::unique_ptr<TMainFrm> shownWindow(const std::string& path) {
        auto w = std::make_unique<TMainFrm>(std::vector<std::string>{});
        openArchive(*w, path);
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        return w;
    }
    static void openArchive(TMainFrm& w, const std::string& path) {
        OpenDialog::answerWith([path] { return std::optional<std::string>(path); });
        w.BtnOpenFileClick();
    }
    // The names the listing shows (after the find field's filter), top to bottom.
    static std::vector<std::string> shownNames(const TMainFrm& w) {
        const QAbstractItemModel* shown = DBGrid1(w)->model();
        std::vector<std::string> names;
        for (int r = 0; r < shown->rowCount(); ++r)
            names.push_back(shown->index(r, CatalogModel::ColFileName).data().toString().toStdString());
        return names;
    }
};

TEST_F(WindowStateTest, CommandsActOnTheRowsTheKeyboardSelected) {
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) writeFile(tmp / (std::string("src/") + name), name);
    const std::string path = tmp / "keys.oru";
    makeArchive(path, {tmp / "src/a.txt", tmp / "src/b.txt", tmp / "src/c.txt", tmp / "src/d.txt"});
    auto w = shownWindow(path);
    TDBGrid* grid = DBGrid1(*w);
    grid->setFocus();
    auto key = [&](Qt::Key k, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(grid, k, mods); };

    // Arrows alone: the row reached is the selection, and Extract takes it alone.
    grid->clickRow(0, false);
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    EXPECT_EQ(grid->selectedRows(), std::vector<int>{2});
    w->extractTo(tmp / "out1");
    EXPECT_TRUE(fsys::exists(tmp / "out1/c.txt"));
    EXPECT_EQ(std::distance(fsys::directory_iterator(tmp / "out1"), fsys::directory_iterator()), 1);

    // Space and Ctrl+Space gather rows the cursor passed with Ctrl; Extract takes those.
    key(Qt::Key_Home, Qt::ControlModifier);
    key(Qt::Key_Space);
    key(Qt::Key_Down, Qt::ControlModifier);
    key(Qt::Key_Down, Qt::ControlModifier);
    key(Qt::Key_Down, Qt::ControlModifier);
    key(Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(grid->selectedRows(), (std::vector<int>{0, 2, 3}));
    key(Qt::Key_Up, Qt::ControlModifier);
    key(Qt::Key_Space);  // toggles c.txt out again
    w->extractTo(tmp / "out2");
    EXPECT_TRUE(fsys::exists(tmp / "out2/a.txt"));
    EXPECT_TRUE(fsys::exists(tmp / "out2/d.txt"));
    EXPECT_FALSE(fsys::exists(tmp / "out2/c.txt"));

    // Shift+Down extends from the cursor; Delete asks about exactly those rows and removes them.
    key(Qt::Key_Up);  // b.txt alone
    key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(grid->selectedRows(), (std::vector<int>{1, 2}));
    std::vector<QString> asked;
    QuestionBox::answerWith([&](const QString& q) {
        asked.push_back(q);
        return true;
    });
    w->BtnDeleteClick();
    QuestionBox::answerWith(nullptr);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].contains(QStringLiteral("b.txt")) && asked[0].contains(QStringLiteral("c.txt")))
        << asked[0].toStdString();
    EXPECT_EQ(listing(*w), (std::vector<std::string>{"a.txt", "d.txt"}));

    // Ctrl+A selects every row shown.
    key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(grid->SelectedCount(), 2);
}

TEST_F(WindowStateTest, ViewAndEnterOpenTheSelectedRowNotTheCursor) {
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) writeFile(tmp / (std::string("src/") + name), name);
    const std::string path = tmp / "open.oru";
    makeArchive(path, {tmp / "src/a.txt", tmp / "src/b.txt", tmp / "src/c.txt"});
    auto w = shownWindow(path);
    TDBGrid* grid = DBGrid1(*w);
    grid->setFocus();
    std::vector<QString> told;
    NoticeBox::answerWith([&](const QString& text) { told.push_back(text); });
    // The titles of the viewers opened by one way of opening, closing them again.
    auto viewed = [&w](const std::function<void()>& open) {
        open();
        std::vector<std::string> titles;
        for (TfmBrowse* viewer : w->findChildren<TfmBrowse*>()) {
            titles.push_back(viewer->windowTitle().toStdString());
            viewer->close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return titles;
    };
    const std::function<void()> f3 = [&w] { w->BtnBrowseClick(); };
    const std::function<void()> enter = [grid] { QTest::keyClick(grid, Qt::Key_Return); };
    for (const auto& open : {f3, enter}) {
        // b.txt selected, the cursor moved on to c.txt with Ctrl: b.txt is the one opened.
        grid->clickRow(0, false);
        QTest::keyClick(grid, Qt::Key_Down);
        QTest::keyClick(grid, Qt::Key_Down, Qt::ControlModifier);
        ASSERT_EQ(grid->selectedRows(), std::vector<int>{1});
        EXPECT_EQ(viewed(open), std::vector<std::string>{"b.txt"});
        // The cursor went to the row opened; Ctrl+Space there: nothing selected, nothing opened.
        EXPECT_EQ(grid->currentIndex().row(), 1);
        QTest::keyClick(grid, Qt::Key_Space, Qt::ControlModifier);
        ASSERT_TRUE(grid->selectedRows().empty());
        EXPECT_TRUE(viewed(open).empty());
    }
    // F3 with nothing selected says how to choose; Enter stays silent.
    EXPECT_EQ(told, std::vector<QString>{nothingToViewHint()});
}

TEST_F(WindowStateTest, FindAndOutcomeEndWithTheArchiveTheyDescribe) {
    writeFile(tmp / "src/texts.txt", "t");
    writeFile(tmp / "src/other.txt", "o");
    writeFile(tmp / "src2/huge.bin", "h");
    makeArchive(tmp / "one.oru", {tmp / "src/texts.txt", tmp / "src/other.txt"});
    makeArchive(tmp / "two.oru", {tmp / "src2/huge.bin"});
    auto w = shownWindow(tmp / "one.oru");

    FindEdit(*w)->setText(QStringLiteral("texts"));
    EXPECT_EQ(shownNames(*w), std::vector<std::string>{"texts.txt"});
    w->BtnBuildExeClick();
    EXPECT_FALSE(OutcomeStatus(*w)->text().isEmpty());

    // Another archive: no search carried over, every row shown, no word about the rebuild.
    openArchive(*w, tmp / "two.oru");
    EXPECT_EQ(FindEdit(*w)->text(), QString());
    EXPECT_EQ(shownNames(*w), std::vector<std::string>{"huge.bin"});
    EXPECT_EQ(OutcomeStatus(*w)->text(), QString());
    QCoreApplication::processEvents();
    EXPECT_EQ(FolderStatus(*w)->text(), QStringLiteral("0 個資料夾，1 個檔案，1 Bytes"));
}

TEST_F(WindowStateTest, CancelledOrFailedCommandSaysSoInTheStatusBar) {
    for (int i = 0; i < 6; ++i) writeFile(tmp / ("src/many/f" + std::to_string(i)), std::string(1000, 'a' + i));
    class StopSoon : public oru::Progress {
    public:
        void update(const Info& info) override { done_ = info.itemsDone; }
        bool cancelled() override { return done_ >= 2; }
    private:
        uint64_t done_ = 0;
    };
    ShownErrors shown;
    TMainFrm w({});
    SaveDialog::answerWith([&] { return std::optional<std::string>(tmp / "c.oru"); });
    ProgressDialog::answerWith(
        [](const QString&, bool) -> std::unique_ptr<oru::Progress> { return std::make_unique<StopSoon>(); });
    w.BtnNewFileClick();
    selectInFilePane(w, tmp / "src", {"[many]"});
    EXPECT_FALSE(w.runCommand([&] { w.BtnAddFileClick(); }));
    ProgressDialog::answerWith(nullptr);
    EXPECT_EQ(OutcomeStatus(w)->text(), QStringLiteral("已取消指令。"));

    EXPECT_FALSE(w.runCommand([] { throw oru::Error(oru::ErrorKind::NoArchiveOpen, {}); }));
    EXPECT_EQ(OutcomeStatus(w)->text(), QStringLiteral("指令失敗。"));
    EXPECT_EQ(shown.texts.size(), 1u);  // the failure, not the cancel, was shown
}

TEST_F(WindowStateTest, CommandsNeedingAnArchiveAreEnabledOnlyWithOne) {
    makeArchive(tmp / "a.oru", {});
    TMainFrm w({});
    auto enabledCommands = [&w] {
        std::vector<std::string> names;
        for (QAction* menu : w.menuBar()->actions())
            for (QAction* a : menu->menu()->actions())
                if (!a->isSeparator() && !a->menu() && a->isEnabled()) names.push_back(a->text().toStdString());
        for (QToolButton* b : ToolBar1(w)->findChildren<QToolButton*>())
            if (!b->objectName().isEmpty() && !b->objectName().startsWith(u"qt_") && b->isEnabled())
                names.push_back(b->objectName().toStdString());
        return names;
    };
    const std::vector<std::string> always = enabledCommands();
    // Repair works on an archive that would not open, so it needs none open.
    EXPECT_EQ(always, (std::vector<std::string>{"新壓縮檔(&N)...", "開啟壓縮檔(&O)...", "修復(&A)...", "離開(&X)",
                                                "解壓縮後開啟資料夾(&F)", "純八欄壓縮檔(&L)", "重新整理(&R)",
                                                "BtnNewFile", "BtnOpenFile", "ToolButton1"}));
    openArchive(w, tmp / "a.oru");
    EXPECT_GT(enabledCommands().size(), always.size() + 10);
    // New, then Cancel in its dialog: the archive was closed first, so its commands go again.
    SaveDialog::answerWith([] { return std::optional<std::string>(); });
    w.BtnNewFileClick();
    EXPECT_EQ(enabledCommands(), always);
}

}  // namespace
}  // namespace oru::ui
