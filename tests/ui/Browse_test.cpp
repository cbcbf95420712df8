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
