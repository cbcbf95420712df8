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
