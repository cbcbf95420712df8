// SPDX-License-Identifier: GPL-3.0-or-later
// Extract in the window with files in its way, damaged entries and archives the user may only
// read: the question per conflict (and its "apply to all"), one message for what failed, and
// commands that say why they cannot change a read-only archive.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <unistd.h>

#include "archive/ExtractTarget.h"
#include "platform/Error.h"
#include "ui/ConflictDialog.h"
#include "ui/DBGrid.h"
#include "WindowTestSupport.h"

namespace oru::ui {
namespace {

using namespace testing;
namespace fsys = std::filesystem;
using Files = std::map<std::string, std::string>;

Files filesIn(const std::string& dir) {
    Files files;
    for (const auto& e : fsys::directory_iterator(dir)) files[e.path().filename()] = readFile(e.path());
    return files;
}

TEST(ConflictDialogTest, EachButtonGivesItsChoiceAndNamesTheFile) {
    const struct {
        const char* button;
        ConflictChoice choice;
    } cases[] = {
        {"BtnOverwrite", ConflictChoice::Overwrite},
        {"BtnSkip", ConflictChoice::Skip},
        {"BtnKeepBoth", ConflictChoice::KeepBoth},
        {"BtnCancel", ConflictChoice::Cancel},
    };
    for (const auto& k : cases) {
        for (const bool all : {false, true}) {
            SCOPED_TRACE(std::string(k.button) + (all ? " for all" : ""));
            TConflictDlg dialog("/tmp/out/報告.txt", nullptr);
            EXPECT_TRUE(dialog.findChild<QLabel*>("Question")->text().contains(QStringLiteral("/tmp/out/報告.txt")));
            dialog.findChild<QCheckBox*>("ApplyToAll")->setChecked(all);
            dialog.findChild<QPushButton*>(k.button)->click();
            EXPECT_EQ(dialog.answer().choice, k.choice);
            EXPECT_EQ(dialog.answer().applyToAll, all);
        }
    }
    // Closing the dialog (Escape, the close box) cancels.
    TConflictDlg closed("x", nullptr);
    closed.reject();
    EXPECT_EQ(closed.answer().choice, ConflictChoice::Cancel);
}

class WindowExtractTest : public ::testing::Test {
protected:
    TempDir tmp;

    void SetUp() override {
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) writeFile(tmp / ("src/" + std::string(name)), std::string("new ") + name[0]);
        makeArchive(tmp / "x.oru", {tmp / "src/a.txt", tmp / "src/b.txt", tmp / "src/c.txt"});
    }
    // A window that opens x.oru, through the Open command, as the user asUser (-1: this one).
    std::unique_ptr<TMainFrm> openWindow(int asUser = -1) {
        auto w = std::make_unique<TMainFrm>(std::vector<std::string>{});
        OpenDialog::answerWith([this] { return std::optional<std::string>(tmp / "x.oru"); });
        FolderChooser::answerWith([this] { return std::optional<std::string>(tmp / "out"); });
        if (asUser >= 0 && ::seteuid(static_cast<uid_t>(asUser)) != 0) return nullptr;
        w->BtnOpenFileClick();
        if (asUser >= 0) {
            EXPECT_EQ(::seteuid(0), 0);
        }
        return w;
    }
    void oldFilesInTheWay() {
        fsys::remove_all(tmp / "out");
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) writeFile(tmp / ("out/" + std::string(name)), std::string("old ") + name[0]);
    }
};

// Every answer, and "apply to all": the question comes once per file until an answer applies
// to the rest.
TEST_F(WindowExtractTest, EachAnswerToAFileInTheWay) {
    auto w = openWindow();
    const ConflictAnswer once{ConflictChoice::Overwrite, false};
    const struct {
        const char* what;
        std::vector<ConflictAnswer> answers;  // given in turn
        bool cancelled;
        Files after;
    } cases[] = {
        {"overwrite, skip, keep both", {{ConflictChoice::Overwrite, false}, {ConflictChoice::Skip, false}, {ConflictChoice::KeepBoth, false}}, false,
         {{"a.txt", "new a"}, {"b.txt", "old b"}, {"c.txt", "old c"}, {"c~1.txt", "new c"}}},
        {"overwrite all", {{ConflictChoice::Overwrite, true}}, false, {{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}}},
        {"skip all", {{ConflictChoice::Skip, true}}, false, {{"a.txt", "old a"}, {"b.txt", "old b"}, {"c.txt", "old c"}}},
        {"keep both, then for all", {once, {ConflictChoice::KeepBoth, true}}, false,
         {{"a.txt", "new a"}, {"b.txt", "old b"}, {"b~1.txt", "new b"}, {"c.txt", "old c"}, {"c~1.txt", "new c"}}},
        {"cancel", {once, {ConflictChoice::Cancel, true}}, true, {{"a.txt", "new a"}, {"b.txt", "old b"}, {"c.txt", "old c"}}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        oldFilesInTheWay();
        std::vector<std::string> asked;
        ConflictQuestion::answerWith([&](const std::string& path) {
            asked.push_back(path);
            return k.answers.at(asked.size() - 1);
        });
        if (k.cancelled) {
            EXPECT_THROW(w->BtnExtractClick(), Cancelled);
        } else {
            w->BtnExtractClick();
        }
        EXPECT_EQ(asked.size(), k.answers.size());
        EXPECT_EQ(asked.front(), tmp / "out/a.txt");
        EXPECT_EQ(filesIn(tmp / "out"), k.after);
    }
}

// The window's own question: the dialog comes up over the window and its button decides.
TEST_F(WindowExtractTest, TheQuestionIsTheConflictDialog) {
    auto w = openWindow();
    oldFilesInTheWay();
    int shown = 0;
    std::function<void()> answer = [&] {
        auto* dialog = qobject_cast<TConflictDlg*>(QApplication::activeModalWidget());
        if (!dialog) {
            QTimer::singleShot(10, answer);
            return;
        }
        ++shown;
        dialog->findChild<QCheckBox*>("ApplyToAll")->setChecked(true);
        dialog->findChild<QPushButton*>("BtnKeepBoth")->click();
    };
    QTimer::singleShot(0, answer);
    w->BtnExtractClick();
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(filesIn(tmp / "out").size(), 6u);
    EXPECT_EQ(readFile(tmp / "out/b~1.txt"), "new b");
}

// The question shows both files, as a file manager does: the one on the disk and the archive's,
// each with its size and date, also for a file deep in an extracted folder.
TEST_F(WindowExtractTest, TheQuestionShowsBothFilesSizesAndDates) {
    writeFile(tmp / "src2/docs/sub/deep.txt", std::string(1234, 'd'));
    {
        FixedClock clock(36925.5);  // 2001-02-03 12:00, when it was added
        makeArchive(tmp / "x.oru", {tmp / "src2/docs"});
    }
    auto w = openWindow();
    fsys::remove_all(tmp / "out");
    writeFile(tmp / "out/docs/sub/deep.txt", "0123456789");
    const auto modified = fsys::file_time_type::clock::now() - std::chrono::hours(24 * 365 * 3);
    fsys::last_write_time(tmp / "out/docs/sub/deep.txt", modified);
    QString existing, entry;
    std::function<void()> answer = [&] {
        auto* dialog = qobject_cast<TConflictDlg*>(QApplication::activeModalWidget());
        if (!dialog) {
            QTimer::singleShot(10, answer);
            return;
        }
        existing = dialog->findChild<QLabel*>("ExistingFacts")->text();
        entry = dialog->findChild<QLabel*>("EntryFacts")->text();
        dialog->findChild<QPushButton*>("BtnSkip")->click();
    };
    QTimer::singleShot(0, answer);
    w->BtnExtractClick();  // the listing's rows: the folder docs
    const QDateTime when = QFileInfo(QString::fromStdString(tmp / "out/docs/sub/deep.txt")).lastModified();
    const double days = static_cast<double>(QDateTime(QDate(1899, 12, 30), QTime(0, 0)).msecsTo(when)) / 86400000.0;
    EXPECT_EQ(existing, QStringLiteral("10 Bytes，修改於 %1").arg(CatalogModel::formatDateTime(days, QLocale())));
    EXPECT_TRUE(existing.contains(QString::number(when.date().year() % 100).rightJustified(2, u'0')))
        << existing.toStdString();
    EXPECT_EQ(entry, QStringLiteral("1,21 KiB，加入於 03.02.01 12:00:00"));
    EXPECT_EQ(readFile(tmp / "out/docs/sub/deep.txt"), "0123456789");
}

TEST_F(WindowExtractTest, TheFolderOpensAfterExtractingWhenTheUserAskedForIt) {
    std::vector<QString> opened;
    ExternalOpener::answerWith([&](const QString& path) { opened.push_back(path); });
    for (const bool on : {false, true}) {
        SCOPED_TRACE(on);
        opened.clear();
        auto w = openWindow();
        w->findChild<QAction*>("OpenFolderAfterExtract")->setChecked(on);
        fsys::remove_all(tmp / "out");
        w->BtnExtractClick();
        EXPECT_EQ(filesIn(tmp / "out").size(), 3u);
        EXPECT_EQ(opened, on ? std::vector<QString>{QString::fromStdString(tmp / "out")} : std::vector<QString>{});
    }
    // The choice is kept for the next window.
    EXPECT_TRUE(openWindow()->findChild<QAction*>("OpenFolderAfterExtract")->isChecked());
    QSettings().remove(QStringLiteral("extract"));
}

// A damaged entry in the middle: the others come out, and one message names it.
TEST_F(WindowExtractTest, DamagedEntryIsNamedOnceAndTheOthersComeOut) {
    {
        auto archive = TKiv::OpenExisting(tmp / "x.oru");
        CatalogTable& c = archive->Catalog();
        for (c.First(); c.GetText("FileName") != "b.txt"; c.Next()) {
        }
        c.Edit();
        c.SetInteger("StoredSize", c.GetInteger("StoredSize") - 2);  // the stream cut short
        c.Post();
        archive->SaveCatalog();
    }
    auto w = openWindow();
    fsys::remove_all(tmp / "out");
    std::string message;
    try {
        w->BtnExtractClick();
    } catch (const Error& e) {
        message = e.what();
    }
    EXPECT_EQ(message, tmp / "x.oru" + ": b.txt: error: 壓縮資料已損壞");
    EXPECT_EQ(filesIn(tmp / "out"), (Files{{"a.txt", "new a"}, {"c.txt", "new c"}}));
}

// A file system that keeps no modes or times: the files come out, and one message says what was
// not kept, once per kind.
TEST_F(WindowExtractTest, WhatTheFileSystemDidNotKeepIsToldOnce) {
    {
        fsys::remove(tmp / "x.oru");
        auto archive = TKiv::CreateNew(tmp / "x.oru");
        archive->SetPlain(false);  // modes and times stored
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) archive->AddPath("", tmp / ("src/" + std::string(name)));
    }
    std::vector<QString> told;
    NoticeBox::answerWith([&](const QString& text) { told.push_back(text); });
    ExtractTarget::setRefusalsForTesting({.modes = true, .times = true});
    auto w = openWindow();
    fsys::remove_all(tmp / "out");
    w->BtnExtractClick();
    ExtractTarget::setRefusalsForTesting({});
    NoticeBox::reset();
    EXPECT_EQ(filesIn(tmp / "out").size(), 3u);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].count(QLatin1Char('\n')), 1);  // one line per kind
    EXPECT_TRUE(told[0].contains(QString::fromStdString(tmp / "out"))) << told[0].toStdString();
}

// An archive the user may read but not write: the title says so, Extract works, and Add,
// Delete and Rebuild say why they cannot run, changing nothing.
TEST_F(WindowExtractTest, ReadOnlyArchiveIsViewedAndSaysWhyItCannotChange) {
    const std::string archive = tmp / "x.oru";
    ::chmod(archive.c_str(), 0444);
    // As root, the archive is opened as the user nobody, who may not write it.
    const bool root = ::geteuid() == 0;
    if (root) ::chmod(tmp.path().c_str(), 0755);
    auto w = openWindow(root ? 65534 : -1);
    if (!w) GTEST_SKIP() << "cannot act as the user nobody here";
    ASSERT_TRUE(w->windowTitle().contains(QStringLiteral("唯讀"))) << w->windowTitle().toStdString();
    const std::string before = readFile(archive);
    w->BtnExtractClick();
    EXPECT_EQ(filesIn(tmp / "out").size(), 3u);

    selectInFilePane(*w, tmp / "src", {"a.txt"});
    DBGrid1(*w)->clickRow(0, false);
    const std::string why = archive + ": 這個壓縮檔是唯讀的（沒有寫入權限或位於唯讀媒體），只能檢視與解壓縮，無法加入、刪除或重整";
    for (auto command : {&TMainFrm::BtnAddFileClick, &TMainFrm::BtnDeleteClick, &TMainFrm::BtnBuildExeClick}) {
        std::string message;
        try {
            (w.get()->*command)();
        } catch (const Error& e) {
            message = e.what();
        }
        EXPECT_EQ(message, why);
    }
    EXPECT_EQ(listing(*w).size(), 3u);
    EXPECT_EQ(readFile(archive), before);
}

}  // namespace
}  // namespace oru::ui
