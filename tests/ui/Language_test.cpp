// SPDX-License-Identifier: GPL-3.0-or-later
// The window in each language: under English no text a widget shows holds a Chinese character
// (names the user chose aside), under Traditional Chinese the design's texts appear as designed.

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTabWidget>
#include <QTableView>

#include <QApplication>
#include <QProgressDialog>
#include <QTimer>

#include "ui/AddNames.h"
#include "ui/ArchiveReport.h"
#include "ui/CommandTexts.h"
#include "ui/ConflictDialog.h"
#include "ui/ProgressSink.h"
#include "ui/SelectDirDlg.h"
#include "WindowTestSupport.h"

namespace oru::ui {
namespace {

using namespace testing;
using oru::language::Language;

// The texts a widget and everything in it show: titles, tool tips, button and label texts,
// placeholders, tab and frame titles, menu entries and column titles.
QStringList shownTexts(const QWidget& root) {
    QStringList texts;
    QList<QWidget*> widgets = root.findChildren<QWidget*>();
    widgets.prepend(const_cast<QWidget*>(&root));
    for (const QWidget* w : widgets) {
        texts << w->windowTitle() << w->toolTip();
        if (auto* b = qobject_cast<const QAbstractButton*>(w)) texts << b->text();
        if (auto* l = qobject_cast<const QLabel*>(w)) texts << l->text();
        if (auto* e = qobject_cast<const QLineEdit*>(w)) texts << e->placeholderText();
        if (auto* g = qobject_cast<const QGroupBox*>(w)) texts << g->title();
        if (auto* t = qobject_cast<const QTabWidget*>(w))
            for (int i = 0; i < t->count(); ++i) texts << t->tabText(i);
        if (auto* m = qobject_cast<const QMenu*>(w)) texts << m->title();
        if (auto* v = qobject_cast<const QTableView*>(w); v && v->model())
            for (int c = 0; c < v->model()->columnCount(); ++c) texts << v->model()->headerData(c, Qt::Horizontal).toString();
    }
    for (const QAction* a : root.findChildren<QAction*>()) texts << a->text();
    texts.removeAll(QString());
    return texts;
}

bool hasChinese(const QString& text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        // CJK punctuation, ideographs and compatibility ideographs, full-width forms.
        if ((u >= 0x3000 && u <= 0x303F) || (u >= 0x3400 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) ||
            (u >= 0xFF00 && u <= 0xFFEF))
            return true;
    }
    return false;
}

// What a modal dialog shows: show runs it, and it is read and closed once it is up.
QStringList shownByModal(const std::function<void()>& show) {
    QStringList texts;
    QTimer::singleShot(0, [&texts] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog) return;
        texts = shownTexts(*dialog);
        dialog->close();
    });
    show();
    return texts;
}

class LanguageTest : public ::testing::Test {
protected:
    void TearDown() override { TApplication::instance()->useLanguage(Language::TraditionalChinese); }

    // Everything the window, its dialogs and its messages show in one language, for an archive
    // x.oru with a folder and two files: the window after a rebuild with one row selected and
    // Properties open, the Test report, the conflict dialog, Add's question and report on names,
    // the progress dialog, the folder chooser, and the texts of the commands' questions and
    // reports.
    QStringList everythingShown(Language language) {
        TApplication::instance()->useLanguage(language);
        writeFile(tmp / "src/a.txt", std::string(2000, 'a'));
        writeFile(tmp / "src/docs/d.txt", "d");
        const std::string archive = tmp / ("x" + std::to_string(static_cast<int>(language)) + ".oru");
        makeArchive(archive, {tmp / "src/docs", tmp / "src/a.txt"});

        QStringList texts;
        TMainFrm w({archive});
        w.FormCreate();
        w.BtnBuildExeClick();
        DBGrid1(w)->clickRow(0, false);  // the folder docs
        ReportDialog::answerWith([&](const QString& title, const QString& summary, const QStringList& items) {
            texts << title << summary << items;
        });
        w.testArchive();
        w.showProperties();
        QCoreApplication::processEvents();
        texts << shownTexts(w);

        TConflictDlg conflict("/tmp/out/a.txt", nullptr);
        texts << shownTexts(conflict);
        texts << shownByModal([] { askExistingItem(nullptr, "docs/a.txt"); })
              << shownByModal([] { showRenames(nullptr, {{"a very long name.txt", "a very lo~1.txt"}}); });
        TProgressSink progress(nullptr, QStringLiteral("x"), true, 0);
        progress.update(oru::Progress::Info{});
        if (progress.dialog()) texts << shownTexts(*progress.dialog());
        TSelectDirDlg chooser(nullptr, QString::fromStdString(tmp.path()));
        texts << shownTexts(chooser) << TSelectDirDlg::createQuestion();

        texts << replaceArchiveQuestion(QStringLiteral("x.oru")) << nothingToDeleteHint()
              << deleteQuestion({{QStringLiteral("docs"), true}})
              << deleteQuestion({{QStringLiteral("a.txt"), false}})
              << deleteQuestion(std::vector<DeleteItem>(7, DeleteItem{QStringLiteral("n"), true}));
        std::vector<CommandProgress::Skipped> skipped;
        for (auto reason : {SkipReason::Denied, SkipReason::Missing, SkipReason::BrokenLink, SkipReason::ReadError,
                            SkipReason::Unlistable, SkipReason::InUse, SkipReason::NotAFile, SkipReason::ArchiveItself})
            skipped.push_back({"src/f", reason});
        texts << skippedSummary(skipped.size()) << skippedLines(skipped) << sizeText(0, QLocale(QLocale::Chinese, QLocale::Taiwan));
        return texts;
    }

    TempDir tmp;
};

TEST_F(LanguageTest, EachLanguageShowsItsOwnTextsAndTheProgramsName) {
    const struct {
        Language language;
        bool chineseAllowed;
        std::vector<QString> shown;  // texts that must appear, each exactly
    } cases[] = {
        {Language::English,
         false,
         {QStringLiteral("x0.oru — Windows Oru File Shell"), QStringLiteral("New Archive"), QStringLiteral("&File"),
          QStringLiteral("Name"), QStringLiteral("Date Added"), QStringLiteral("File List"), QStringLiteral("Archive"),
          QStringLiteral("1 folder, 1 file, 1,95 KiB"), QStringLiteral("1 item selected, 0 Bytes"),
          QStringLiteral("Tested 2 files: no damage found."), QStringLiteral("Archive Properties"),
          QStringLiteral("File Already Exists"), QStringLiteral("Keep Both"), QStringLiteral("Select Directory"),
          QStringLiteral("Directory &Name:"), QStringLiteral("The specified directory does not exist. Create it?"),
          QStringLiteral("Delete \"a.txt\"?"), QStringLiteral("0 bytes"),
          QStringLiteral("The archive already holds \"docs/a.txt\"."), QStringLiteral("Apply to all items"),
          QStringLiteral("\n0 items done, 0 Bytes")}},
        {Language::TraditionalChinese,
         true,
         {QStringLiteral("x1.oru — Windows Oru File Shell"), QStringLiteral("新壓縮檔"), QStringLiteral("開啟壓縮檔"),
          QStringLiteral("加入壓縮"), QStringLiteral("刪除"), QStringLiteral("檢視"), QStringLiteral("解壓縮到"),
          QStringLiteral("重整檔案"), QStringLiteral("離開"), QStringLiteral("檔案清單"), QStringLiteral("壓縮檔"),
          QStringLiteral("檔名"), QStringLiteral("大小"), QStringLiteral("壓縮後"), QStringLiteral("封裝日期"),
          QStringLiteral("檔案(&F)"), QStringLiteral("1 個資料夾，1 個檔案，1,95 KiB"),
          QStringLiteral("已選取 1 項，0 Bytes"), QStringLiteral("已測試 2 個檔案，沒有損壞。"),
          QStringLiteral("壓縮檔內容"), QStringLiteral("位置："), QStringLiteral("檔案已經存在"),
          QStringLiteral("兩者都保留"), QStringLiteral("Select Directory"), QStringLiteral("Directory &Name:"),
          QStringLiteral("The specified directory does not exist. Create it?"), QStringLiteral("要刪除「a.txt」嗎？"),
          QStringLiteral("0 位元組"), QStringLiteral("壓縮檔中已有「docs/a.txt」。"), QStringLiteral("套用到所有項目"),
          QStringLiteral("\n已處理 0 個項目，0 Bytes")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(oru::language::code(c.language));
        const QStringList texts = everythingShown(c.language);
        for (const QString& text : c.shown) EXPECT_TRUE(texts.contains(text)) << text.toStdString();
        if (c.chineseAllowed) continue;
        for (const QString& text : texts) EXPECT_FALSE(hasChinese(text)) << text.toStdString();
    }
}

TEST_F(LanguageTest, SizesFollowTheLocaleButNameBytesInTheWindowsLanguage) {
    const QLocale taiwan(QLocale::Chinese, QLocale::Taiwan), us(QLocale::English, QLocale::UnitedStates),
        germany(QLocale::German, QLocale::Germany);
    ArchiveProperties p;
    p.fileSize = 439;
    const struct {
        Language language;
        QLocale locale;
        int64_t bytes;
        QString size, fileSizeLine;  // sizeText, and the Properties line of a file that size
    } cases[] = {
        // Qt names a Chinese locale's bytes in English ("439 byte"): the window's word replaces it.
        {Language::TraditionalChinese, taiwan, 439, QStringLiteral("439 位元組"), QStringLiteral("439 位元組（439 位元組）")},
        {Language::TraditionalChinese, taiwan, 0, QStringLiteral("0 位元組"), QStringLiteral("0 位元組（0 位元組）")},
        {Language::English, taiwan, 1, QStringLiteral("1 byte"), QStringLiteral("1 byte (1 byte)")},
        {Language::TraditionalChinese, taiwan, 3000, QStringLiteral("2.93 KiB"), QStringLiteral("2.93 KiB（3,000 位元組）")},
        // Other locales keep their own words and digits.
        {Language::English, us, 439, QStringLiteral("439 bytes"), QStringLiteral("439 bytes (439 bytes)")},
        {Language::TraditionalChinese, germany, 1000, QStringLiteral("1.000 Bytes"), QStringLiteral("1.000 Bytes（1.000 位元組）")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(oru::language::code(c.language)) + " " + c.locale.name().toStdString() + " " +
                     std::to_string(c.bytes));
        TApplication::instance()->useLanguage(c.language);
        QLocale::setDefault(c.locale);  // %Ln takes the default locale's digits
        EXPECT_EQ(sizeText(c.bytes, c.locale), c.size);
        p.fileSize = c.bytes;
        EXPECT_EQ(propertyLines(p, c.locale).at(1).second, c.fileSizeLine);
    }
    QLocale::setDefault(germany);
}

TEST_F(LanguageTest, QtsOwnDialogsSpeakChineseOnlyUnderChinese) {
    TApplication* app = TApplication::instance();
    app->useLanguage(Language::English);
    EXPECT_FALSE(app->qtTranslationLoaded());
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    app->useLanguage(Language::TraditionalChinese);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
}

}  // namespace
}  // namespace oru::ui
