// SPDX-License-Identifier: GPL-3.0-or-later
// The program's entry. Without options: the application titled "WinOru", its main window, and the
// archive named by the last command-line argument opened at start; the exit status is then 0.
// The file managers' actions run without the window and end with 0 on success, 1 otherwise:
//   WinOru --extract-here ARCHIVE...   WinOru --add-to ARCHIVE PATH...   WinOru --add-here PATH...
// --help and --version print and end before any display is needed.

#include <QString>
#include <QTranslator>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/Language.h"
#include "ui/Application.h"
#include "ui/FileManagerActions.h"
#include "ui/zipmain.h"

namespace {

constexpr const char* kUsage = QT_TRANSLATE_NOOP(
    "WinOru",
    "Usage: WinOru [ARCHIVE...]\n"
    "       WinOru --extract-here ARCHIVE...\n"
    "       WinOru --add-to ARCHIVE PATH...\n"
    "       WinOru --add-here PATH...\n"
    "\n"
    "Without options, opens a window for each archive named (an empty one when none is).\n"
    "\n"
    "  --extract-here ARCHIVE...  extract each archive beside itself: a single top-level\n"
    "                             item straight beside it, otherwise into a new folder\n"
    "                             named after the archive; then exit\n"
    "  --add-to ARCHIVE PATH...   add the files and folders to the archive, creating it\n"
    "                             when missing; then exit\n"
    "  --add-here PATH...         add them to a new archive beside the first, named after\n"
    "                             it (or after their folder when there are several),\n"
    "                             \"NAME (2).oru\"... when the name is taken; then exit\n"
    "  --help                     show this help and exit\n"
    "  --version                  show the version and exit\n"
    "\n"
    "Qt's own options (-platform, -style...) are accepted too.\n");

// A text of the command line in the user's language. It is printed before the application object
// and its translators exist, so the catalog is read here.
QByteArray text(const char* english) {
    static QTranslator catalog;
    static const bool chinese = oru::language::current() == oru::language::Language::TraditionalChinese &&
                                catalog.load(QStringLiteral(":/i18n/WinOru_zh_TW.qm"));
    const QString translated = chinese ? catalog.translate("WinOru", english) : QString();
    return translated.isEmpty() ? QByteArray(english) : translated.toUtf8();
}

bool isOption(const char* arg, const char* name) { return std::strcmp(arg, name) == 0; }

int usageError(const char* message) {
    std::fprintf(stderr, "WinOru: %s\n%s", text(message).constData(), text(kUsage).constData());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && isOption(argv[1], "--help")) {
        std::fputs(text(kUsage).constData(), stdout);
        return 0;
    }
    if (argc == 2 && isOption(argv[1], "--version")) {
        std::printf("WinOru %s\n", ORU_VERSION);
        return 0;
    }

    oru::ui::TApplication app(argc, argv);  // takes Qt's own options out of argv
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args.front() == "--extract-here") {
        if (args.size() < 2)
            return usageError(QT_TRANSLATE_NOOP("WinOru", "--extract-here needs at least one archive"));
        return oru::ui::extractHere({args.begin() + 1, args.end()}) ? 0 : 1;
    }
    if (!args.empty() && args.front() == "--add-to") {
        if (args.size() < 3)
            return usageError(QT_TRANSLATE_NOOP("WinOru", "--add-to needs an archive and at least one path"));
        return oru::ui::addTo(args[1], {args.begin() + 2, args.end()}) ? 0 : 1;
    }
    if (!args.empty() && args.front() == "--add-here") {
        if (args.size() < 2) return usageError(QT_TRANSLATE_NOOP("WinOru", "--add-here needs at least one path"));
        return oru::ui::addHere({args.begin() + 1, args.end()}) ? 0 : 1;
    }

    // Each archive named gets a window of its own, as file managers expect when they pass several
    // files at once; without one, the window opens empty. A failure to open one is shown and its
    // window stays.
    std::vector<std::vector<std::string>> archives;
    for (std::string& archive : args) archives.push_back({std::move(archive)});
    if (archives.empty()) archives.emplace_back();
    std::vector<std::unique_ptr<oru::ui::TMainFrm>> windows;
    for (std::vector<std::string>& archive : archives) {
        windows.push_back(std::make_unique<oru::ui::TMainFrm>(std::move(archive)));
        oru::ui::TMainFrm& window = *windows.back();
        window.show();
        app.runCommand([&] { window.FormCreate(); });
    }
    app.exec();
    return 0;
}
