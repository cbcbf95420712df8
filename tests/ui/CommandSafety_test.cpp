// SPDX-License-Identifier: GPL-3.0-or-later
// The window's commands destroy nothing unasked and stop when asked: New asks before it replaces
// an archive and never replaces another file, Add reports what it left out, Cancel stops inside
// a big file at once, and closing the window during Add stops it before the window goes.

#include <QApplication>
#include <QProgressDialog>
#include <QTest>
#include <QToolButton>
#include <random>

#include "platform/Error.h"
#include "platform/Stream.h"
#include "ui/CommandTexts.h"
#include "ui/ProgressSink.h"
#include "WindowTestSupport.h"

namespace oru::ui {
namespace {

using namespace testing;

constexpr int64_t kMiB = int64_t{1} << 20;

std::string randomText(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(n, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

// The names of the archive's rows, the archive opened on its own (the window must have let go).
std::vector<std::string> rowsOf(const std::string& path) {
    auto archive = oru::TKiv::OpenExisting(path);
    std::vector<std::string> names;
    CatalogTable& c = archive->Catalog();
    for (c.First(); !c.AtEnd(); c.Next()) names.push_back(c.GetText("FileName"));
    return names;
}

class CommandSafetyTest : public ::testing::Test {
protected:
    TempDir tmp;
};

TEST_F(CommandSafetyTest, NewAsksBeforeReplacingAnArchiveAndNeverReplacesAnotherFile) {
    writeFile(tmp / "src/a.txt", "alpha");
    const std::string archive = tmp / "old.oru";
    makeArchive(archive, {tmp / "src/a.txt"});
    const std::string archiveBytes = readFile(archive);
    writeFile(tmp / "notes.oru", "a document that happens to end in .oru");
    const struct {
        const char* what;
        std::string path;
        bool answer;
        bool asked, created;  // the question came; an empty archive is open afterwards
    } cases[] = {
        {"archive, kept", archive, false, true, false},
        {"archive, replaced", archive, true, true, true},
        {"not an archive", tmp / "notes.oru", true, false, false},
        {"nothing there", tmp / "fresh.oru", true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(archive, archiveBytes);
        const std::string before = readFile(c.path);
        ShownErrors shown;
        TMainFrm w({});
        SaveDialog::answerWith([&] { return std::optional<std::string>(c.path); });
        std::vector<QString> asked;
        QuestionBox::answerWith([&](const QString& question) {
            asked.push_back(question);
            return c.answer;
        });
        const bool ok = w.runCommand([&] { w.BtnNewFileClick(); });
        EXPECT_EQ(asked.size(), c.asked ? 1u : 0u);
        if (c.asked) EXPECT_EQ(asked.front(), replaceArchiveQuestion(QString::fromStdString(c.path)));
        EXPECT_EQ(w.CurrentArchive() != nullptr, c.created);
        if (c.created) {
            EXPECT_TRUE(ok);
            EXPECT_TRUE(w.CurrentArchive()->Catalog().IsEmpty());
        } else {
            EXPECT_EQ(readFile(c.path), before);  // untouched, to the byte
        }
        if (std::string(c.what) == "not an archive") {
            EXPECT_FALSE(ok);
            EXPECT_EQ(shown.texts, std::vector<std::string>{oru::displayText(oru::TKiv::NotAnArchiveMessage(c.path))});
        } else {
            EXPECT_TRUE(shown.texts.empty());
        }
    }
}

TEST_F(CommandSafetyTest, AddReportsWhatItLeftOutInOneDialogAfterAddingTheRest) {
    writeFile(tmp / "src/a.txt", "alpha");
    writeFile(tmp / "src/docs/d.txt", "d");
    std::filesystem::create_symlink("nowhere", tmp / "src/docs/dangling");
    const std::string path = tmp / "src/box.oru";
    TMainFrm w({});
    SaveDialog::answerWith([&] { return std::optional<std::string>(path); });
    w.BtnNewFileClick();
    struct Report {
        QString title, summary;
        QStringList items;
    };
    std::vector<Report> reports;
    ReportDialog::answerWith([&](const QString& title, const QString& summary, const QStringList& items) {
        reports.push_back({title, summary, items});
    });
    // The archive itself, chosen with the rest, is one of the items left out.
    selectInFilePane(w, tmp / "src", {"a.txt", "box.oru", "[docs]"});
    EXPECT_TRUE(w.runCommand([&] { w.BtnAddFileClick(); }));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].summary, skippedSummary(2));
    QStringList items = reports[0].items;
    items.sort();
    const QString src = QString::fromStdString(tmp / "src/");
    EXPECT_EQ(items, (QStringList{src + QStringLiteral("box.oru：") + skipReasonText(oru::SkipReason::ArchiveItself),
                                  src + QStringLiteral("docs/dangling：") + skipReasonText(oru::SkipReason::BrokenLink)}));
    EXPECT_EQ(treeText(w), "R(docs)");
    EXPECT_EQ(listing(w), (std::vector<std::string>{"docs", "a.txt"}));
}

// What the test's sinks saw; it outlives them (the command's progress owns its sink).
struct Seen {
    bool pressed = false;
    uint64_t pressedAt = 0, lastBytes = 0;
    int cursorWhileStopping = -1;
    std::optional<bool> closeAnswer;
    bool visibleAfterClose = false;
};

// Wraps the window's real progress sink: presses its Cancel once the file is 3 MiB in, and
// meanwhile clicks the toolbar's Open button; records the cursor while the command still runs.
class PressCancel : public oru::Progress {
public:
    PressCancel(std::unique_ptr<TProgressSink> sink, TMainFrm& window, Seen& seen)
        : sink_(std::move(sink)), window_(window), seen_(seen) {}
    void update(const Info& info) override {
        sink_->update(info);
        if (!seen_.pressed && static_cast<int64_t>(info.bytesDone) >= 3 * kMiB) {
            seen_.pressed = true;
            seen_.pressedAt = info.bytesDone;
            if (sink_->dialog()) sink_->dialog()->cancel();
            control<QToolButton>(window_, "BtnOpenFile")->click();  // a click that reaches the busy window
        }
        seen_.lastBytes = info.bytesDone;
    }
    bool cancelled() override {
        const bool stop = sink_->cancelled();
        if (stop) seen_.cursorWhileStopping = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : -1;
        return stop;
    }

private:
    std::unique_ptr<TProgressSink> sink_;
    TMainFrm& window_;
    Seen& seen_;
};

TEST_F(CommandSafetyTest, CancelStopsInsideABigFileWithTheBusyCursorAndKeepsTheClickForAfter) {
    writeFile(tmp / "src/a.txt", "alpha");
    writeFile(tmp / "src/big.bin", randomText(24 * kMiB, 3));
    const std::string path = tmp / "c.oru";
    makeArchive(path, {tmp / "src/a.txt"});
    const std::string before = readFile(path);
    TMainFrm w({});
    OpenDialog::answerWith([&] { return std::optional<std::string>(path); });
    w.BtnOpenFileClick();
    Seen seen;
    ProgressDialog::answerWith([&](const QString& title, bool cancellable) -> std::unique_ptr<oru::Progress> {
        return std::make_unique<PressCancel>(std::make_unique<TProgressSink>(&w, title, cancellable, 0), w, seen);
    });
    int opens = 0;
    OpenDialog::answerWith([&] {
        ++opens;
        return std::optional<std::string>(path);
    });
    selectInFilePane(w, tmp / "src", {"big.bin"});
    EXPECT_FALSE(w.runCommand([&] { w.BtnAddFileClick(); }));
    EXPECT_TRUE(seen.pressed);
    EXPECT_LE(seen.lastBytes, seen.pressedAt + kMiB);  // stopped within a megabyte
    EXPECT_EQ(seen.cursorWhileStopping, Qt::WaitCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the window is usable again
    EXPECT_EQ(readFile(path), before);                   // the archive as before that file
    // The click made during the command was kept and runs now.
    EXPECT_EQ(opens, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return opens == 1; }, 2000));
    EXPECT_EQ(listing(w), std::vector<std::string>{"a.txt"});
}

TEST_F(CommandSafetyTest, ClosingTheWindowDuringAddStopsItAndClosesOnceTheArchiveIsConsistent) {
    writeFile(tmp / "src/a.txt", "alpha");
    writeFile(tmp / "src/big.bin", randomText(24 * kMiB, 4));
    const std::string path = tmp / "w.oru";
    makeArchive(path, {tmp / "src/a.txt"});
    const std::string before = readFile(path);
    ShownErrors shown;
    auto w = std::make_unique<TMainFrm>(std::vector<std::string>{});
    OpenDialog::answerWith([&] { return std::optional<std::string>(path); });
    w->BtnOpenFileClick();
    w->show();
    // The user closes the window once the big file is a few megabytes in.
    class CloseMidFile : public oru::Progress {
    public:
        CloseMidFile(TMainFrm& window, Seen& seen) : window_(window), seen_(seen) {}
        void update(const Info& info) override {
            if (seen_.closeAnswer.has_value() || static_cast<int64_t>(info.bytesDone) < 3 * kMiB) return;
            seen_.closeAnswer = window_.close();
            seen_.visibleAfterClose = window_.isVisible();
        }

    private:
        TMainFrm& window_;
        Seen& seen_;
    };
    Seen seen;
    ProgressDialog::answerWith([&](const QString&, bool) -> std::unique_ptr<oru::Progress> {
        return std::make_unique<CloseMidFile>(*w, seen);
    });
    selectInFilePane(*w, tmp / "src", {"big.bin"});
    EXPECT_FALSE(w->runCommand([&] { w->BtnAddFileClick(); }));  // stopped
    EXPECT_TRUE(shown.texts.empty()) << shown.texts.front();
    EXPECT_EQ(seen.closeAnswer, std::optional<bool>(false));  // not closed while it ran
    EXPECT_TRUE(seen.visibleAfterClose);
    EXPECT_EQ(readFile(path), before);
    // Once the command has ended, the window goes.
    // (QTRY_* macros report to QTest, not to this test: a timeout would pass unseen.)
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w->isVisible(); }, 2000));
    w.reset();
    EXPECT_EQ(rowsOf(path), std::vector<std::string>{"a.txt"});
}

}  // namespace
}  // namespace oru::ui
