// SPDX-License-Identifier: GPL-3.0-or-later
// The window holds the archive it shows as a reader does, so other programs read it beside the
// window; a command that writes holds it alone only while it runs, never writes over what another
// program wrote meanwhile, and offers to try again while another program holds it.

#include <QProcess>
#include <QTest>
#include <algorithm>
#include <fstream>
#include <functional>
#include <map>

#include "platform/Error.h"
#include "WindowTestSupport.h"

namespace oru::ui {
namespace {

using namespace testing;

class WindowLocksTest : public ::testing::Test {
protected:
    TempDir tmp;

    // `oru list path`: its exit code and its lines.
    static std::pair<int, QStringList> oruList(const std::string& path) {
        QProcess oru;
        oru.start(QStringLiteral(ORU_CLI_PATH), {QStringLiteral("list"), QString::fromStdString(path)});
        EXPECT_TRUE(oru.waitForFinished(30000));
        return {oru.exitCode(), QString::fromUtf8(oru.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts)};
    }
    static bool lists(const QStringList& lines, const char* name) {
        return std::any_of(lines.begin(), lines.end(), [name](const QString& l) { return l.contains(QLatin1String(name)); });
    }
    static void open(TMainFrm& w, const std::string& path) {
        OpenDialog::answerWith([path] { return std::optional<std::string>(path); });
        w.BtnOpenFileClick();
    }
};

TEST_F(WindowLocksTest, OruListsAnArchiveTheWindowShowsWhetherMadeWithNewOrOpened) {
    writeFile(tmp / "src/a.txt", "alpha");
    makeArchive(tmp / "opened.oru", {});
    struct Case {
        const char* how;
        std::function<void(TMainFrm&, const std::string&)> show;
    } cases[] = {
        {"New",
         [](TMainFrm& w, const std::string& path) {
             SaveDialog::answerWith([path] { return std::optional<std::string>(path); });
             w.BtnNewFileClick();
         }},
        {"Open", [](TMainFrm& w, const std::string& path) { open(w, path); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        const std::string path = tmp / (std::string(c.how) == "New" ? "made.oru" : "opened.oru");
        TMainFrm w({});
        c.show(w, path);
        ASSERT_NE(w.CurrentArchive(), nullptr);
        EXPECT_EQ(oruList(path).first, 0);
        // A command that writes holds it alone only while it runs.
        selectInFilePane(w, tmp / "src", {"a.txt"});
        w.BtnAddFileClick();
        const auto [code, lines] = oruList(path);
        EXPECT_EQ(code, 0);
        EXPECT_TRUE(lists(lines, "a.txt")) << lines.join(u'\n').toStdString();
    }
}

TEST_F(WindowLocksTest, AnArchiveChangedMeanwhileIsReadAgainBeforeTheWindowWritesIt) {
    writeFile(tmp / "src/a.txt", "alpha");
    writeFile(tmp / "src/b.txt", std::string(5000, 'b'));
    writeFile(tmp / "src/c.txt", "gamma");
    makeArchive(tmp / "shown.oru", {tmp / "src/a.txt"});
    makeArchive(tmp / "later.oru", {tmp / "src/b.txt", tmp / "src/a.txt"});
    const std::string path = tmp / "shown.oru";
    TMainFrm w({});
    open(w, path);

    // Add: what the other program stored stays, readable, beside what the window adds.
    writtenMeanwhile(tmp / "later.oru", path);
    selectInFilePane(w, tmp / "src", {"c.txt"});
    w.BtnAddFileClick();
    const std::map<std::string, std::string> expected{
        {"a.txt", "alpha"}, {"b.txt", std::string(5000, 'b')}, {"c.txt", "gamma"}};
    EXPECT_EQ(archiveContents(path), expected);
    EXPECT_EQ(listing(w), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));

    // Delete: the first row highlighted stands for a.txt; in the archive as another program left
    // it, a.txt is gone and the first row is b.txt. Nothing is asked or deleted; the listing
    // shows the archive as it is.
    makeArchive(tmp / "without-a.oru", {tmp / "src/b.txt", tmp / "src/c.txt"});
    DBGrid1(w)->clickRow(0, false);  // a.txt
    writtenMeanwhile(tmp / "without-a.oru", path);
    std::vector<QString> asked, told;
    QuestionBox::answerWith([&](const QString& q) {
        asked.push_back(q);
        return true;
    });
    NoticeBox::answerWith([&](const QString& t) { told.push_back(t); });
    w.BtnDeleteClick();
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(told.size(), 1u);
    EXPECT_EQ(archiveContents(path).size(), 2u);
    EXPECT_EQ(listing(w), (std::vector<std::string>{"b.txt", "c.txt"}));
    EXPECT_TRUE(DBGrid1(w)->selectedRows().empty());
}

TEST_F(WindowLocksTest, WhileAnotherProgramHoldsTheArchiveTheWindowOffersToTryAgain) {
    writeFile(tmp / "src/a.txt", "alpha");
    for (const bool tryAgain : {true, false}) {
        SCOPED_TRACE(tryAgain);
        const std::string path = tmp / (tryAgain ? "again.oru" : "given-up.oru");
        makeArchive(path, {});
        TMainFrm w({});
        open(w, path);
        ShownErrors shown;
        // Another reader (a second window, oru list) holds the archive until the question comes.
        std::unique_ptr<oru::TKiv> other = oru::TKiv::OpenExisting(path, oru::TKiv::Access::Shared);
        std::vector<QString> asked;
        QuestionBox::answerWith([&](const QString& q) {
            asked.push_back(q);
            other.reset();
            return tryAgain;
        });
        selectInFilePane(w, tmp / "src", {"a.txt"});
        EXPECT_EQ(w.runCommand([&] { w.BtnAddFileClick(); }), tryAgain);
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_TRUE(asked[0].contains(QStringLiteral("again.oru")) || asked[0].contains(QStringLiteral("given-up.oru")))
            << asked[0].toStdString();
        EXPECT_TRUE(shown.texts.empty());  // a question, not a failure
        EXPECT_EQ(listing(w), tryAgain ? std::vector<std::string>{"a.txt"} : std::vector<std::string>{});
        if (!tryAgain) EXPECT_EQ(OutcomeStatus(w)->text(), QStringLiteral("已取消指令。"));
    }
}

}  // namespace
}  // namespace oru::ui
