// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application object and its central handler: every exception that escapes a command (an
// event handler of the window) is shown in the "WinOru" message box, and the program goes on.
// It also gives the program its desktop identity (icon, desktop entry name) and chooses the
// language of the window's texts and of Qt's own dialogs and buttons.

#include <QApplication>
#include <QTranslator>
#include <functional>
#include <string>

#include "platform/Language.h"

namespace oru::ui {

// The name of the installed desktop entry, icon and metainfo (without their extensions).
inline constexpr const char* kDesktopId = "org.winoru.WinOru";

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);

    // Makes the window's texts and Qt's own speak the given language: English needs no catalog,
    // Traditional Chinese installs the window's catalog and Qt's. The constructor calls it with
    // oru::language::current(); widgets made before a change keep their texts.
    void useLanguage(oru::language::Language language);
    // Whether Qt's Traditional Chinese translation was found and is in use (when it is missing,
    // Qt's dialogs speak English and everything else works). False under English.
    bool qtTranslationLoaded() const { return qtTranslationLoaded_; }

    bool notify(QObject* receiver, QEvent* event) override;

    // Runs a command outside event delivery (start-up) under the same handler. Returns false
    // when it failed.
    bool runCommand(const std::function<void()>& command);

    // Shows one error; tests replace it to see the text instead of a modal box.
    std::function<void(const QString& text)> showError;

    static TApplication* instance();

    // What the handler shows for a message: the message with the "." rule applied.
    static QString errorText(const std::string& message);
    // Shows message as the handler shows a failure (a report that comes from no exception).
    void report(const std::string& message);

private:
    QTranslator windowTranslation_;  // the window's texts, from the built-in catalog
    QTranslator qtTranslation_;      // Qt's own dialogs and buttons
    bool qtTranslationLoaded_ = false;
};

}  // namespace oru::ui
