// SPDX-License-Identifier: GPL-3.0-or-later
// Entries opened with the desktop's applications: a private copy is handed on, its changes are
// put to the user once the editor has settled, whether the editor writes in place or saves a new
// file and renames it over the copy, several entries at once; and an archive changed meanwhile is
// never updated without asking. Files that are not text are described, not shown as text.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstdio>

#include "ui/Browse.h"
#include "WindowTestSupport.h"

namespace oru::ui {
namespace {

using namespace testing;

class OpenedEntriesTest : public ::testing::Test {
protected:
    TempDir tmp;
    std::vector<QString> opened;  // the copies handed to the desktop's application
    std::vector<QString> asked;   // the questions put, in order
    std::vector<bool> answers;    // the answers to give, in order (then: yes)

    void SetUp() override {
        ExternalOpener::answerWith([this](const QString& path) { opened.push_back(path); });
        QuestionBox::answerWith([this](const QString& question) {
            asked.push_back(question);
            return asked.size() <= answers.size() ? answers[asked.size() - 1] : true;
        });
    }
    std::unique_ptr<TMainFrm> openWindow(const std::string& path) {
        auto w = std::make_unique<TMainFrm>(std::vector<std::string>{});
        OpenDialog::answerWith([path] { return std::optional<std::string>(path); });
        w->BtnOpenFileClick();
        return w;
    }
    static int rowOf(const TMainFrm& w, const std::string& name) {
        const auto rows = listing(w);
        return static_cast<int>(std::find(rows.begin(), rows.end(), name) - rows.begin());
    }
    // Double-click on the row named name in the folder shown.
    static void doubleClick(const TMainFrm& w, const std::string& name) { Q_EMIT DBGrid1(w)->rowActivated(rowOf(w, name)); }
    // An editor's save that writes a new file and renames it over the copy.
    static void saveByRename(const QString& copy, const std::string& content) {
        const std::string fresh = copy.toStdString() + ".new";
        writeFile(fresh, content);
        ASSERT_EQ(std::rename(fresh.c_str(), copy.toStdString().c_str()), 0);
    }
    // Lets the settle time pass with no question coming: what was asked is all there is.
    static void settleQuietly() { QTest::qWait(4 * TOpenedEntries::kSettleMs); }
};

const std::string kOdt = std::string("PK\x03\x04\x14\0\0\0\x08\0", 10) + "content.xml";
const std::string kPng = std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);

TEST_F(OpenedEntriesTest, ACopySavedByRenameIsPutBackAfterOneQuestion) {
    writeFile(tmp / "src/report.odt", kOdt);
    writeFile(tmp / "src/pic.png", kPng);
    const std::string path = tmp / "e.oru";
    makeArchive(path, {tmp / "src/report.odt", tmp / "src/pic.png"});
    auto w = openWindow(path);

    doubleClick(*w, "report.odt");
    ASSERT_EQ(opened.size(), 1u);
    const QString copy = opened[0];
    EXPECT_EQ(QFileInfo(copy).fileName(), QStringLiteral("report.odt"));
    EXPECT_EQ(readFile(copy.toStdString()), kOdt);
    // The copies live in a folder of the user's own that nobody else may enter.
    const QString root = QFileInfo(QFileInfo(copy).absolutePath()).absolutePath();
    EXPECT_EQ(QFile::permissions(root) & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                                          QFile::WriteOther | QFile::ExeOther),
              QFile::Permissions());

    // The editor saves three times in a burst (as editors with a backup step do): one question.
    for (const char* text : {"draft 1", "draft 2", "final"}) saveByRename(copy, kOdt + text);
    ASSERT_TRUE(waitFor([&] { return !asked.empty(); }));
    settleQuietly();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], QStringLiteral("檔案 report.odt 已修改。要更新壓縮檔裡的它嗎？"));
    const std::map<std::string, std::string> expected{{"report.odt", kOdt + "final"}, {"pic.png", kPng}};
    EXPECT_EQ(archiveContents(path), expected);
    EXPECT_EQ(listing(*w), (std::vector<std::string>{"pic.png", "report.odt"}));

    // A save that leaves the content as it was asks nothing; a later change asks again.
    saveByRename(copy, kOdt + "final");
    settleQuietly();
    EXPECT_EQ(asked.size(), 1u);
    answers = {true, false};
    saveByRename(copy, kOdt + "again");
    ASSERT_TRUE(waitFor([&] { return asked.size() == 2; }));
    settleQuietly();
    EXPECT_EQ(archiveContents(path).at("report.odt"), kOdt + "final");  // "no" keeps the archive as it was
}

TEST_F(OpenedEntriesTest, TwoEntriesEditedAtOnceAreEachPutBackInTheirFolders) {
    writeFile(tmp / "src/a.bin", kPng + "a");
    writeFile(tmp / "src/docs/b.bin", kPng + "b");
    const std::string path = tmp / "two.oru";
    makeArchive(path, {tmp / "src/a.bin", tmp / "src/docs"});
    auto w = openWindow(path);
    doubleClick(*w, "a.bin");
    tv(*w)->setCurrentItem(node(*w, {"docs"}));
    doubleClick(*w, "b.bin");
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_NE(QFileInfo(opened[0]).absolutePath(), QFileInfo(opened[1]).absolutePath());

    // Both saved at the same moment, one in place, one by rename.
    writeFile(opened[0].toStdString(), kPng + "A");
    saveByRename(opened[1], kPng + "B");
    ASSERT_TRUE(waitFor([&] { return asked.size() == 2; }));
    settleQuietly();
    ASSERT_EQ(asked.size(), 2u);
    std::sort(asked.begin(), asked.end());
    EXPECT_TRUE(asked[0].contains(QStringLiteral("a.bin")) && asked[1].contains(QStringLiteral("b.bin")));
    const std::map<std::string, std::string> expected{{"a.bin", kPng + "A"}, {"docs/b.bin", kPng + "B"}};
    EXPECT_EQ(archiveContents(path), expected);
}

TEST_F(OpenedEntriesTest, AnArchiveChangedMeanwhileIsUpdatedOnlyWhenTheUserSaysSoAgain) {
    writeFile(tmp / "src/a.bin", kPng + "a");
    writeFile(tmp / "other/a.bin", kPng + "changed elsewhere");
    writeFile(tmp / "other/z.txt", "z");
    const std::string path = tmp / "m.oru";
    makeArchive(path, {tmp / "src/a.bin"});
    makeArchive(tmp / "other.oru", {tmp / "other/a.bin", tmp / "other/z.txt"});
    auto w = openWindow(path);
    doubleClick(*w, "a.bin");
    ASSERT_EQ(opened.size(), 1u);
    writtenMeanwhile(tmp / "other.oru", path);

    // Yes to the update, then no once told that the entry changed since: nothing is written.
    answers = {true, false};
    writeFile(opened[0].toStdString(), kPng + "edited");
    ASSERT_TRUE(waitFor([&] { return asked.size() == 2; }));
    EXPECT_TRUE(asked[1].contains(QStringLiteral("a.bin"))) << asked[1].toStdString();
    EXPECT_EQ(readFile(path), readFile(tmp / "other.oru"));
    EXPECT_EQ(listing(*w), (std::vector<std::string>{"a.bin", "z.txt"}));  // shown as it is now

    // The next save asks both again; yes twice puts the edit in beside the other program's file.
    answers.clear();
    writeFile(opened[0].toStdString(), kPng + "edited twice");
    ASSERT_TRUE(waitFor([&] { return asked.size() == 4; }));
    settleQuietly();
    const std::map<std::string, std::string> expected{{"a.bin", kPng + "edited twice"}, {"z.txt", "z"}};
    EXPECT_EQ(archiveContents(path), expected);
}

TEST_F(OpenedEntriesTest, ClosingTheArchiveEndsTheQuestionsAboutItsCopies) {
    writeFile(tmp / "src/a.bin", kPng);
    const std::string path = tmp / "c.oru";
    makeArchive(path, {tmp / "src/a.bin"});
    auto w = openWindow(path);
    doubleClick(*w, "a.bin");
    ASSERT_EQ(opened.size(), 1u);
    OpenDialog::answerWith([] { return std::optional<std::string>(); });
    w->BtnOpenFileClick();  // closes the archive, opens none
    writeFile(opened[0].toStdString(), kPng + "late");
    settleQuietly();
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(archiveContents(path).at("a.bin"), kPng);
}

TEST_F(OpenedEntriesTest, ShiftEnterOpensEvenATextFileWithTheDesktopsApplication) {
    writeFile(tmp / "src/notes.txt", "words\n");
    writeFile(tmp / "src/more.txt", "more\n");
    makeArchive(tmp / "t.oru", {tmp / "src/notes.txt", tmp / "src/more.txt"});
    auto w = openWindow(tmp / "t.oru");
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    TDBGrid* grid = DBGrid1(*w);
    grid->setFocus();
    grid->clickRow(rowOf(*w, "notes.txt"), false);
    QTest::keyClick(grid, Qt::Key_Return, Qt::ShiftModifier);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(readFile(opened[0].toStdString()), "words\n");
    EXPECT_TRUE(w->findChildren<TfmBrowse*>().isEmpty());  // not the viewer
    // Plain Enter keeps showing text in the viewer.
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_EQ(w->findChildren<TfmBrowse*>().size(), 1);
    EXPECT_EQ(opened.size(), 1u);
}

TEST_F(OpenedEntriesTest, ViewerDescribesAFileThatIsNotTextAndOpensItOnRequest) {
    writeFile(tmp / "src/pic.png", kPng);
    writeFile(tmp / "src/page.html", "<meta charset=\"utf-8\"><h1>\xE6\xA8\x99\xE9\xA1\x8C</h1><p>caf\xC3\xA9</p>");
    const std::string path = tmp / "v.oru";
    makeArchive(path, {tmp / "src/pic.png", tmp / "src/page.html"});
    auto w = openWindow(path);

    DBGrid1(*w)->clickRow(rowOf(*w, "page.html"), false);
    w->BtnBrowseClick();
    TfmBrowse* page = w->findChildren<TfmBrowse*>().back();
    EXPECT_TRUE(page->showsHtml());
    EXPECT_EQ(page->WebBrowser1->toPlainText().trimmed(), QStringLiteral("標題\ncafé"));

    DBGrid1(*w)->clickRow(rowOf(*w, "pic.png"), false);
    w->BtnBrowseClick();
    TfmBrowse* viewer = w->findChildren<TfmBrowse*>().back();
    ASSERT_NE(viewer, page);
    EXPECT_TRUE(viewer->describesFile());
    EXPECT_FALSE(viewer->TextView1->isVisibleTo(viewer));
    EXPECT_FALSE(viewer->WebBrowser1->isVisibleTo(viewer));
    const QString note = viewer->Note1->text();
    EXPECT_TRUE(note.contains(QStringLiteral("pic.png")) && note.contains(QStringLiteral("image/png")) &&
                note.contains(QStringLiteral("16 Bytes")))
        << note.toStdString();
    EXPECT_TRUE(opened.empty());
    viewer->OpenButton1->click();
    ASSERT_TRUE(waitFor([&] { return !opened.empty(); }));
    EXPECT_EQ(readFile(opened[0].toStdString()), kPng);
}

}  // namespace
}  // namespace oru::ui
