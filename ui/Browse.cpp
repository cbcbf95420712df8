// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Browse.h"

#include <QFontDatabase>
#include <QKeySequence>
#include <QLabel>
#include <QShortcut>
#include <QToolBar>
#include <QVBoxLayout>

#include "platform/CodePage.h"

namespace oru::ui {

namespace {

// The length of the UTF-8 sequence that starts with b; 0 for a byte that cannot start one.
size_t sequenceLength(unsigned char b) {
    if (b < 0x80) return 1;
    if (b >= 0xC2 && b <= 0xDF) return 2;
    if (b >= 0xE0 && b <= 0xEF) return 3;
    if (b >= 0xF0 && b <= 0xF4) return 4;
    return 0;
}

// How many leading bytes of text hold whole characters when a UTF-8 text may be cut inside its
// last character (a sequence started within the last three bytes and not finished).
size_t wholeUtf8Prefix(std::string_view text) {
    for (size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const auto b = static_cast<unsigned char>(text[text.size() - back]);
        if ((b & 0xC0) == 0x80) continue;  // continuation byte: look further back
        const size_t length = sequenceLength(b);
        return length > back ? text.size() - back : text.size();
    }
    return text.size();
}

// Whole characters of a CP950 text cut after an arbitrary byte: a lone lead byte at the end goes.
size_t wholeCp950Prefix(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) i += cp950::isLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
    return i > text.size() ? text.size() - 1 : text.size();
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        const size_t length = sequenceLength(b);
        if (length == 0 || i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        if (length >= 3) {
            const auto second = static_cast<unsigned char>(text[i + 1]);
            if (b == 0xE0 && second < 0xA0) return false;  // overlong
            if (b == 0xED && second > 0x9F) return false;  // surrogate
            if (b == 0xF0 && second < 0x90) return false;  // overlong
            if (b == 0xF4 && second > 0x8F) return false;  // beyond U+10FFFF
        }
        i += length;
    }
    return true;
}

}  // namespace

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

QString plainText(std::string_view bytes, bool cut) {
    QString text;
    const std::string_view utf8 = cut ? bytes.substr(0, wholeUtf8Prefix(bytes)) : bytes;
    if (isValidUtf8(utf8)) {
        text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    } else {
        const std::string_view big5 = cut ? bytes.substr(0, wholeCp950Prefix(bytes)) : bytes;
        text = QString::fromStdU16String(oru::cp950::toUtf16(big5));
    }
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    text.replace(QChar(u'\0'), QChar(0x2400));
    return text;
}

bool isHtmlName(const std::string& utf8Name) {
    const QString name = QString::fromStdString(utf8Name);
    return name.endsWith(u".htm", Qt::CaseInsensitive) || name.endsWith(u".html", Qt::CaseInsensitive);
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
    Note1 = new QLabel(this);
    Note1->setObjectName(QStringLiteral("Note1"));
    Note1->setContentsMargins(6, 3, 6, 3);
    Note1->hide();
    WebBrowser1 = new THtmlView(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    TextView1 = new QPlainTextEdit(this);
    TextView1->setObjectName(QStringLiteral("TextView1"));
    TextView1->setReadOnly(true);
    TextView1->setLineWrapMode(QPlainTextEdit::NoWrap);
    TextView1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    TextView1->hide();
    layout->addWidget(ToolBar1);
    layout->addWidget(Note1);
    layout->addWidget(WebBrowser1, 1);
    layout->addWidget(TextView1, 1);

    for (const QKeySequence& key : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto* shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, this, &QWidget::close);
    }
}

void TfmBrowse::writeDocument(const QString& html) {
    source_ = html;
    html_ = true;
    TextView1->hide();
    TextView1->clear();
    WebBrowser1->show();
    WebBrowser1->setHtml(html);
}

void TfmBrowse::writePlainText(const QString& text) {
    source_ = text;
    html_ = false;
    WebBrowser1->hide();
    WebBrowser1->clear();
    TextView1->show();
    TextView1->setPlainText(text);
}

void TfmBrowse::setNote(const QString& note) {
    Note1->setText(note);
    Note1->setVisible(!note.isEmpty());
}

}  // namespace oru::ui
