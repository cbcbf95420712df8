// The program's entry: the application titled "WinOru", its main window, and the archive named
// by the last command-line argument opened at start. The exit status is always 0.

#include <string>
#include <vector>

#include "ui/Application.h"
#include "ui/zipmain.h"

int main(int argc, char** argv) {
    oru::ui::TApplication app(argc, argv);  // takes Qt's own options out of argv
    std::vector<std::string> args(argv + 1, argv + argc);
    oru::ui::TMainFrm window(std::move(args));
    window.show();
    app.runCommand([&] { window.FormCreate(); });  // a failure is shown; the window stays
    app.exec();
    return 0;
}
