#include "ui/Application.h"

#include <QMessageBox>
#include <exception>

#include "platform/Error.h"

namespace oru::ui {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("WinOru"));
    setApplicationDisplayName(QStringLiteral("WinOru"));
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
