#include "ui/Browse.h"

#include <QToolBar>
#include <QVBoxLayout>

#include "platform/CodePage.h"

namespace oru::ui {

QString browseText(std::string_view bytes) {
    if (const size_t zero = bytes.find('\0'); zero != std::string_view::npos)
        bytes = bytes.substr(0, zero);
    // CP950 trail bytes are never CR or LF, so splitting the bytes splits whole characters.
    std::string joined;
    joined.reserve(bytes.size() + bytes.size() / 16 + 2);
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = bytes.size();
        joined.append(bytes.substr(start, end - start));
        joined += "\r\n";
        if (end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    const std::u16string text = oru::cp950::toUtf16(joined);
    return QString::fromStdU16String(text);
}

THtmlView::THtmlView(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
}

QVariant THtmlView::loadResource(int, const QUrl&) { return {}; }

TfmBrowse::TfmBrowse(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("fmBrowse"));
    setAttribute(Qt::WA_DeleteOnClose);  // closing frees the window
    setWindowTitle(QStringLiteral("fmBrowse"));
    move(189, 189);
    resize(688, 453);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setFixedHeight(29);
    WebBrowser1 = new THtmlView(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    layout->addWidget(ToolBar1);
    layout->addWidget(WebBrowser1, 1);
}

void TfmBrowse::writeDocument(const QString& html) {
    source_ = html;
    WebBrowser1->setHtml(html);
}

}  // namespace oru::ui
