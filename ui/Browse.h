// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text viewer window: shows one stored file in a view of its own, as rendered HTML when the
// file is named .htm or .html and as plain text otherwise. It keeps its own copy of the text and
// never refers to the archive once shown.

#include <QPlainTextEdit>
#include <QTextBrowser>
#include <QWidget>
#include <cstdint>
#include <string>
#include <string_view>

class QLabel;
class QPushButton;
class QToolBar;

namespace oru::ui {

// The text handed to the HTML view: the bytes decoded as the document says (a byte-order mark,
// else the charset of its first <meta> that names one, within the first 1024 bytes), else as
// UTF-8 when they are valid UTF-8, else as Big5 (code page 950); cut at the first zero
// character; split into lines at CR, LF or CR LF and joined again with CR LF after every line
// (the last one included). cut: as for plainText.
QString browseText(std::string_view bytes, bool cut = false);

// The text shown as plain text: decoded by its byte-order mark (UTF-8, UTF-16), else as UTF-8
// when the bytes are valid UTF-8, as CP950 otherwise; line ends (CR, LF, CR LF) become LF; a zero
// byte shows as U+2400. cut: the bytes are the first part of a longer file, so a character cut
// at the end is dropped rather than shown as a replacement.
QString plainText(std::string_view bytes, bool cut);

// The charset an HTML document's first bytes declare in a <meta charset> or <meta http-equiv
// content="...; charset=..."> tag, lower case; empty when none does.
std::string declaredCharset(std::string_view head);

// Whether the first bytes of a file are text the viewer can show: a byte-order mark, or no zero
// byte and hardly any other control character. A file that is not is described, not shown.
bool looksLikeText(std::string_view head);

// True when the UTF-8 file name ends in .htm or .html (any case): such files are rendered.
bool isHtmlName(const std::string& utf8Name);

// The viewer shows at most this many bytes of a file; the rest is named in a note.
inline constexpr int64_t kViewLimit = 1 << 20;

// An HTML view that renders what it is given and loads nothing: no script, no network, no file.
class THtmlView : public QTextBrowser {
    Q_OBJECT
public:
    explicit THtmlView(QWidget* parent = nullptr);
    QVariant loadResource(int type, const QUrl& name) override;
};

class TfmBrowse : public QWidget {
    Q_OBJECT
public:
    // A top-level window owned by owner; it frees itself when closed (also on Esc and Ctrl+W).
    explicit TfmBrowse(QWidget* owner);
    // Replaces the document with html, rendered as HTML source.
    void writeDocument(const QString& html);
    // Replaces the document with text shown as it is, no markup interpreted.
    void writePlainText(const QString& text);
    // Shows a note above the text (the file is shown in part); empty hides it.
    void setNote(const QString& note);
    // Shows, instead of a text, what the file is (description) and a button that opens it with
    // the desktop's application: a file that is not text.
    void describeFile(const QString& description);
    bool describesFile() const { return described_; }
    // The source last written, as it was given.
    const QString& documentSource() const { return source_; }
    bool showsHtml() const { return html_; }

Q_SIGNALS:
    // The user asked for the file to be opened with the desktop's application.
    void openRequested();

public:
    QToolBar* ToolBar1;
    QLabel* Note1;
    QPushButton* OpenButton1;  // "Open with the default application", for a file that is not text
    THtmlView* WebBrowser1;
    QPlainTextEdit* TextView1;

private:
    QString source_;
    bool html_ = false;
    bool described_ = false;
};

}  // namespace oru::ui
