// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's text preparation and its HTML view.

#include <QUrl>

#include "ui/Browse.h"
#include "UiTestSupport.h"

namespace oru::ui {
namespace {

TEST(BrowseText, CutsAtZeroAndEndsEveryLineWithCrLf) {
    using namespace std::string_literals;
    struct Case {
        std::string bytes;
        QString text;
    } cases[] = {
        {"line1\nline2\n", QStringLiteral("line1\r\nline2\r\n")},
        {"a\r\nb", QStringLiteral("a\r\nb\r\n")},                 // the last line gets its CR LF too
        {"a\rb\r\n\nc", QStringLiteral("a\r\nb\r\n\r\nc\r\n")},  // CR, CR LF and LF each end a line
        {"\n", QStringLiteral("\r\n")},
        {"", QString()},
        {"\0abc"s, QString()},                        // nothing before the first zero byte
        {"ab\0cd\n"s, QStringLiteral("ab\r\n")},
        {"\xA4\xA4\xA4\xE5\n", QStringLiteral("中文\r\n")},      // Big5 becomes Unicode
    };
    for (const Case& c : cases) EXPECT_EQ(browseText(c.bytes), c.text) << c.bytes;
}

TEST(PlainText, DecodesUtf8OrBig5AndKeepsMarkupAndLineBreaks) {
    using namespace std::string_literals;
    struct Case {
        std::string bytes;
        bool cut;
        QString text;
    } cases[] = {
        {"<b>bold?</b> 1 < 2 & 3", false, QStringLiteral("<b>bold?</b> 1 < 2 & 3")},  // no markup
        {"a\r\nb\rc\n\nd", false, QStringLiteral("a\nb\nc\n\nd")},                 // every line end kept
        {"\xE4\xB8\xAD\xE6\x96\x87 caf\xC3\xA9", false, QStringLiteral("中文 café")},  // valid UTF-8
        {"\xA4\xA4\xA4\xE5", false, QStringLiteral("中文")},                         // not UTF-8: Big5
        {"a\0b"s, false, QStringLiteral("a\u2400b")},                                // zero bytes visible
        // The first part of a longer file: a character cut at the end is left out, in either code.
        {"ab\xE4\xB8\xAD\xE6\x96", true, QStringLiteral("ab中")},
        {"\xA4\xA4\xA4", true, QStringLiteral("中")},
        {"\xA4\xA4\xA4\xE5", true, QStringLiteral("中文")},
    };
    for (const Case& c : cases) EXPECT_EQ(plainText(c.bytes, c.cut), c.text) << c.bytes;
}

TEST(BrowseText, HtmlIsDecodedAsItDeclaresElseUtf8ElseBig5) {
    using namespace std::string_literals;
    const std::string utf8 = "\xE6\xA8\x99\xE9\xA1\x8C caf\xC3\xA9";  // 標題 café
    struct Case {
        const char* what;
        std::string bytes;
        QString text;
    } cases[] = {
        {"meta charset", "<meta charset=\"utf-8\"><p>" + utf8, QStringLiteral("<meta charset=\"utf-8\"><p>標題 café\r\n")},
        {"http-equiv", "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">" + utf8,
         QStringLiteral("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">標題 café\r\n")},
        {"no meta, valid UTF-8", "<p>" + utf8, QStringLiteral("<p>標題 café\r\n")},
        {"no meta, not UTF-8", "<p>\xA4\xA4\xA4\xE5", QStringLiteral("<p>中文\r\n")},
        {"meta big5", "<meta charset=big5>\xA4\xA4", QStringLiteral("<meta charset=big5>中\r\n")},
        {"meta latin-1", "<meta charset='iso-8859-1'>caf\xE9", QStringLiteral("<meta charset='iso-8859-1'>café\r\n")},
        {"UTF-8 mark", "\xEF\xBB\xBF<p>" + utf8, QStringLiteral("<p>標題 café\r\n")},
        {"UTF-16LE mark", "\xFF\xFE<\0p\0>\0\x19\x6A\x4C\x98\n\0"s, QStringLiteral("<p>標題\r\n")},
        {"UTF-16BE mark", "\xFE\xFF\0<\0p\0>\x6A\x19\x98\x4C"s, QStringLiteral("<p>標題\r\n")},
        // Only the first 1024 bytes are searched: here valid UTF-8 decides.
        {"meta beyond 1024 bytes", std::string(1100, ' ') + "<meta charset=big5>\xE8\x81\xBD",
         QString(1100, u' ') + QStringLiteral("<meta charset=big5>聽\r\n")},
    };
    for (const Case& c : cases) EXPECT_EQ(browseText(c.bytes), c.text) << c.what;
    EXPECT_EQ(declaredCharset("<html><head><meta name=x><meta charset=\"Big5\">"), "big5");
    EXPECT_EQ(declaredCharset("<p>charset=utf-8 outside a tag</p>"), "");
}

TEST(PlainText, ByteOrderMarksDecideTheCode) {
    using namespace std::string_literals;
    EXPECT_EQ(plainText("\xEF\xBB\xBF\xA4\xA4", false), QStringLiteral("\uFFFD\uFFFD"));  // says UTF-8, is not
    EXPECT_EQ(plainText("\xFF\xFEx\0\r\0\n\0"s, false), QStringLiteral("x\n"));
    EXPECT_EQ(plainText("\xFE\xFF\0x\xD8"s, true), QStringLiteral("x"));  // a unit cut in two is dropped
}

TEST(PlainText, OnlyTextIsShownAsText) {
    using namespace std::string_literals;
    struct Case {
        const char* what;
        std::string head;
        bool text;
    } cases[] = {
        {"ASCII with tabs and line ends", "a\tb\r\nc\f\n", true},
        {"Big5", "\xA4\xA4\xA4\xE5", true},
        {"coloured log", "\x1B[31mred\x1B[0m\n", true},
        {"UTF-16 with its mark", "\xFF\xFEx\0"s, true},
        {"PNG", "\x89PNG\r\n\x1A\n\0\0\0\rIHDR"s, false},
        {"one zero byte", "text\0text"s, false},
        {"control bytes", std::string(50, 'a') + "\x01\x02", false},
        {"empty", "", true},
    };
    for (const Case& c : cases) EXPECT_EQ(looksLikeText(c.head), c.text) << c.what;
}

TEST(PlainText, OnlyHtmNamesAreRendered) {
    for (const char* name : {"a.htm", "B.HTML", "說明.html"}) EXPECT_TRUE(isHtmlName(name)) << name;
    for (const char* name : {"a.txt", "html", "a.html.txt", "a.xhtml", "a.shtml"}) EXPECT_FALSE(isHtmlName(name)) << name;
}

TEST(BrowseView, RendersMarkupAndLoadsNothingFromDisk) {
    THtmlView view;
    view.setHtml(QStringLiteral("<table><tr><td>cell</td></tr></table>"));
    EXPECT_TRUE(view.toPlainText().contains(QStringLiteral("cell")));
    EXPECT_FALSE(view.toPlainText().contains(QStringLiteral("<td>")));
    const QVariant loaded = view.loadResource(QTextDocument::ImageResource, QUrl::fromLocalFile("/etc/hostname"));
    EXPECT_FALSE(loaded.isValid());
}

}  // namespace
}  // namespace oru::ui
