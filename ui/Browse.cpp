// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Browse.h"

#include <QFontDatabase>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QStringDecoder>
#include <QShortcut>
#include <QToolBar>
#include <QVBoxLayout>

#include <cctype>

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

std::string declaredCharset(std::string_view head) {
    std::string lower(head.substr(0, 1024));
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (size_t tag = lower.find("<meta"); tag != std::string::npos; tag = lower.find("<meta", tag + 5)) {
        const size_t end = lower.find('>', tag);
        const std::string_view meta = std::string_view(lower).substr(tag, end == std::string::npos ? std::string::npos : end - tag);
        const size_t at = meta.find("charset");
        if (at == std::string_view::npos) continue;
        size_t i = at + 7;
        while (i < meta.size() && (meta[i] == ' ' || meta[i] == '=' || meta[i] == '"' || meta[i] == '\'')) ++i;
        size_t j = i;
        while (j < meta.size() && (std::isalnum(static_cast<unsigned char>(meta[j])) || meta[j] == '-' || meta[j] == '_' ||
                                   meta[j] == '.' || meta[j] == ':'))
            ++j;
        if (j > i) return std::string(meta.substr(i, j - i));
    }
    return {};
}

bool looksLikeText(std::string_view head) {
    if (head.starts_with("\xEF\xBB\xBF") || head.starts_with("\xFF\xFE") || head.starts_with("\xFE\xFF")) return true;
    size_t controls = 0;
    for (const char c : head) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0) return false;
        // Tab, line ends, form feed and escape (coloured logs) are at home in text.
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f' && b != 0x1B) ++controls;
    }
    return controls * 100 <= head.size();
}

namespace {

// Decodes bytes by their byte-order mark, the charset named (for HTML), valid UTF-8 or else
// CP950. cut: a character cut at the end is dropped.
QString decode(std::string_view bytes, const std::string& charset, bool cut) {
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        const bool little = bytes[0] == '\xFF';
        std::string_view units = bytes.substr(2);
        if (units.size() % 2) units.remove_suffix(1);
        QStringDecoder decoder(little ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        QString text = decoder(QByteArrayView(units.data(), static_cast<qsizetype>(units.size())));
        if (cut && !text.isEmpty() && text.back().isHighSurrogate()) text.chop(1);
        return text;
    }
    const bool marked = bytes.starts_with("\xEF\xBB\xBF");  // a UTF-8 byte-order mark
    if (marked) bytes.remove_prefix(3);
    const bool big5 = !marked && (charset == "big5" || charset == "big5-hkscs" || charset == "cp950" || charset == "windows-950" ||
                      charset == "x-x-big5");
    if (!marked && !charset.empty() && !big5 && charset != "utf-8" && charset != "utf8") {
        // Another charset Qt knows (Latin-1, the UTF-16 forms, and whatever its ICU provides).
        QStringDecoder decoder(charset.c_str());
        if (decoder.isValid()) return decoder(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    }
    const std::string_view utf8 = cut ? bytes.substr(0, wholeUtf8Prefix(bytes)) : bytes;
    const bool saysUtf8 = marked || charset == "utf-8" || charset == "utf8";
    if (!big5 && (saysUtf8 || isValidUtf8(utf8))) {
        return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    }
    const std::string_view cp950 = cut ? bytes.substr(0, wholeCp950Prefix(bytes)) : bytes;
    return QString::fromStdU16String(oru::cp950::toUtf16(cp950));
}

}  // namespace

QString browseText(std::string_view bytes, bool cut) {
    QString text = decode(bytes, declaredCharset(bytes), cut);
    if (const qsizetype zero = text.indexOf(QChar(u'\0')); zero >= 0) text.truncate(zero);
    QString joined;
    joined.reserve(text.size() + text.size() / 16 + 2);
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') ++end;
        joined += QStringView(text).mid(start, end - start);
        joined += QStringLiteral("\r\n");
        if (end + 1 < text.size() && text[end] == u'\r' && text[end + 1] == u'\n') ++end;
        start = end + 1;
    }
    return joined;
}

QString plainText(std::string_view bytes, bool cut) {
    QString text = decode(bytes, {}, cut);
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
    OpenButton1 = new QPushButton(tr("Open with the Default Application"), this);
    OpenButton1->setObjectName(QStringLiteral("OpenButton1"));
    OpenButton1->hide();
    connect(OpenButton1, &QPushButton::clicked, this, &TfmBrowse::openRequested);
    WebBrowser1 = new THtmlView(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    TextView1 = new QPlainTextEdit(this);
    TextView1->setObjectName(QStringLiteral("TextView1"));
    TextView1->setReadOnly(true);
    TextView1->setLineWrapMode(QPlainTextEdit::NoWrap);
    TextView1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    TextView1->hide();
    WebBrowser1->setAccessibleName(tr("Page"));
    WebBrowser1->setAccessibleDescription(tr("The stored HTML file, rendered"));
    TextView1->setAccessibleName(tr("Text"));
    TextView1->setAccessibleDescription(tr("The stored file's text"));
    OpenButton1->setAccessibleDescription(tr("Opens the file with the application the desktop uses for its type"));
    layout->addWidget(ToolBar1);
    layout->addWidget(Note1);
    layout->addWidget(OpenButton1, 0, Qt::AlignLeft);
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

void TfmBrowse::describeFile(const QString& description) {
    source_.clear();
    html_ = false;
    described_ = true;
    WebBrowser1->hide();
    TextView1->hide();
    setNote(description);
    Note1->setWordWrap(true);
    OpenButton1->show();
    OpenButton1->setFocus();
    qobject_cast<QVBoxLayout*>(layout())->addStretch(1);
}

void TfmBrowse::setNote(const QString& note) {
    Note1->setText(note);
    Note1->setVisible(!note.isEmpty());
}

}  // namespace oru::ui
