// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Application.h"

#include <QIcon>
#include <QLibraryInfo>
#include <QMessageBox>
#include <exception>

#include "platform/Error.h"
#include "platform/Language.h"

// The application icon lives in the static library's resources: make sure they are linked in.
static void initAppIconResources() { Q_INIT_RESOURCE(appicon); }

namespace oru::ui {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("WinOru"));
    // Settings go to ~/.config/WinOru/WinOru.conf, not under "Unknown Organization".
    setOrganizationName(QStringLiteral("WinOru"));
    // No display name is set: Qt would append it to every window title, and the window's title
    // already names the program. The name ("WinOru") stands in for it where Qt needs one.
    setApplicationVersion(QStringLiteral(ORU_VERSION));
    // Wayland docks and task bars match the window to its desktop entry by this name.
    setDesktopFileName(QString::fromLatin1(kDesktopId));
    // The installed theme icon when there is one, else the copies compiled into the program.
    QIcon icon = QIcon::fromTheme(QString::fromLatin1(kDesktopId));
    if (icon.isNull()) {
        initAppIconResources();
        icon.addFile(QStringLiteral(":/app/winoru-48.png"));
        icon.addFile(QStringLiteral(":/app/winoru-256.png"));
    }
    setWindowIcon(icon);
    useLanguage(oru::language::current());
    showError = [](const QString& text) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("WinOru"), text, QMessageBox::Ok,
                        QApplication::activeWindow());
        box.exec();
    };
}

void TApplication::useLanguage(oru::language::Language language) {
    removeTranslator(&windowTranslation_);
    removeTranslator(&qtTranslation_);
    qtTranslationLoaded_ = false;
    const bool chinese = language == oru::language::Language::TraditionalChinese;
    // English is the sources' language: its catalog holds only the plural forms.
    const QString catalog = chinese ? QStringLiteral(":/i18n/WinOru_zh_TW.qm") : QStringLiteral(":/i18n/WinOru_en.qm");
    if (windowTranslation_.load(catalog)) installTranslator(&windowTranslation_);
    if (!chinese) return;
    // The same language for Qt's file dialogs, message box buttons and context menus, so that
    // no third language appears beside the window's.
    qtTranslationLoaded_ = qtTranslation_.load(QStringLiteral("qtbase_zh_TW"),
                                               QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
                           installTranslator(&qtTranslation_);
}

TApplication* TApplication::instance() { return qobject_cast<TApplication*>(QCoreApplication::instance()); }

QString TApplication::errorText(const std::string& message) {
    return QString::fromStdString(oru::displayText(message));
}

void TApplication::report(const std::string& message) {
    if (showError) showError(errorText(message));
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    bool ok = false;
    runCommand([&] { ok = QApplication::notify(receiver, event); });
    return ok;
}

bool TApplication::runCommand(const std::function<void()>& command) {
    try {
        command();
        return true;
    } catch (const oru::Error& e) {
        // A stop the user asked for is no failure: nothing to report. Every other kind, a
        // status code of the catalog's row store included, carries its text.
        if (e.kind() != oru::ErrorKind::Cancelled) report(e.what());
        return false;
    } catch (const std::exception& e) {
        report(e.what());
        return false;
    }
}

}  // namespace oru::ui
