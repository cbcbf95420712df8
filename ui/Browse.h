#pragma once
// The text viewer window: shows one stored file as HTML in a view of its own. It keeps its own
// copy of the text and never refers to the archive once shown.

#include <QTextBrowser>
#include <QWidget>
#include <string_view>

class QToolBar;

namespace oru::ui {

// The text handed to the viewer's document: the bytes cut at the first zero byte, split into
// lines at CR, LF or CR LF, joined again with CR LF after every line (the last one included),
// and converted from CP950 to UTF-16.
QString browseText(std::string_view bytes);

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
    // A top-level window owned by owner; it frees itself when closed.
    explicit TfmBrowse(QWidget* owner);
    // Replaces the document with html, rendered as HTML source.
    void writeDocument(const QString& html);
    // The source last written, as it was given.
    const QString& documentSource() const { return source_; }

    QToolBar* ToolBar1;
    THtmlView* WebBrowser1;

private:
    QString source_;
};

}  // namespace oru::ui
