#include "ui/Application.h"

#include <QIcon>
#include <QLibraryInfo>
#include <QMessageBox>
#include <exception>

#include "platform/Error.h"

// The application icon lives in the static library's resources: make sure they are linked in.
static void initAppIconResources() { Q_INIT_RESOURCE(appicon); }

namespace oru::ui {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("WinOru"));
    setApplicationDisplayName(QStringLiteral("WinOru"));
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
    // The window speaks Traditional Chinese whatever the locale, so Qt's file dialogs, message
    // box buttons and context menus are made to speak it too.
    qtTranslationLoaded_ = qtTranslation_.load(QStringLiteral("qtbase_zh_TW"),
                                               QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
                           installTranslator(&qtTranslation_);
    showError = [](const QString& text) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("WinOru"), text, QMessageBox::Ok,
                        QApplication::activeWindow());
        box.exec();
    };
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
    } catch (const oru::Cancelled&) {
        return false;  // the user stopped it: nothing to report
    } catch (const oru::Error& e) {
        // Failures of the catalog's row store carry only a status code; an empty box would
        // tell the user nothing, so the code is shown instead.
        if (*e.what() == '\0' && e.status() != 0)
            report("目錄資料錯誤，錯誤碼 0x" + QString::number(e.status(), 16).toUpper().toStdString());
        else
            report(e.what());
        return false;
    } catch (const std::exception& e) {
        report(e.what());
        return false;
    }
}

}  // namespace oru::ui
