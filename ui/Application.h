#pragma once
// The application object and its central handler: every exception that escapes a command (an
// event handler of the window) is shown in the "WinOru" message box, and the program goes on.

#include <QApplication>
#include <functional>
#include <string>

namespace oru::ui {

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Runs a command outside event delivery (start-up) under the same handler. Returns false
    // when it failed.
    bool runCommand(const std::function<void()>& command);

    // Shows one error; tests replace it to see the text instead of a modal box.
    std::function<void(const QString& text)> showError;

    static TApplication* instance();

    // What the handler shows for a message: the message with the "." rule applied.
    static QString errorText(const std::string& message);

private:
    void report(const std::string& message);
};

}  // namespace oru::ui
