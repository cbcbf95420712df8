// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Renders the engine's progress reports for a person at a terminal: one line on standard error,
// redrawn in place and never wider than the terminal, with counts and rate over the whole
// command. With -v it also prints each item done on standard output. Ctrl+C becomes a request
// to stop between two files.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "archive/Progress.h"

namespace oru {

class ConsoleProgress : public Progress {
public:
    // Where the output goes; tests put both streams into one fake terminal.
    struct Terminal {
        int lineFd = 2;   // the progress line
        int itemFd = 1;   // the -v lines
        int columns = 0;  // the line's terminal width; 0: asked from lineFd at each draw
        int itemsOnScreen = -1;  // the -v lines show above the line: 1 yes, 0 no, -1 when itemFd is a terminal
        std::function<std::chrono::steady_clock::time_point()> now = std::chrono::steady_clock::now;
    };

    // visible: draw the line at all (standard error is a terminal and -q was not given); drawing
    // starts only once the command has lasted more than a second. verbose: print each item.
    ConsoleProgress(bool visible, bool verbose);
    ConsoleProgress(bool visible, bool verbose, Terminal terminal);
    ~ConsoleProgress() override;

    void update(const Info& info) override;
    bool cancelled() override;
    // The engine counts from zero in each operation (each added PATH, each extracted entry):
    // call before the next one so that the line keeps counting for the whole command.
    void nextOperation();
    // Prints one -v line (the path as escapedName shows it; with separateItemsWithNul the path as
    // it is, ended by a NUL byte), keeping the progress line below it. Fails with
    // ErrorKind::WriteError.
    void item(const std::string& path);
    // -0: the -v items are the paths as they are, each ended by a NUL byte instead of a newline.
    void separateItemsWithNul(bool nul) { nulItems_ = nul; }
    // One line on standard error per item that adding left out, shown or not.
    void skipped(const std::string& path, SkipReason reason) override;
    // How many items adding left out so far.
    uint64_t skippedCount() const { return skipped_; }
    // One line on standard error per item that went under another name, shown or not.
    void renamed(const std::string& from, const std::string& to) override;
    // Erases the progress line, if one was drawn.
    void finish();

    // Installs the handlers of Ctrl+C (SIGINT) and SIGTERM: the first signal asks the work to
    // stop (within a megabyte of the file being worked on), a second one ends the process at once.
    static void catchInterrupts();
    // The signal caught since catchInterrupts, 0 for none.
    static int caughtSignal();

private:
    void draw();
    // Prints one line on standard error, keeping the progress line below it.
    void note(const std::string& line);

    bool visible_;
    bool verbose_;
    bool nulItems_ = false;
    Terminal terminal_;
    bool itemsToTerminal_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
    Info done_;                  // the finished operations' totals
    Info current_;               // the running operation's last report
    uint64_t skipped_ = 0;
};

// Why an item was left out, as `oru add` says it, in the user's language.
std::string skipReasonText(SkipReason reason);

// Names for a terminal: control bytes become "?" so that a stored name cannot drive it. Pipes
// and files (terminal false) get the names unchanged.
std::string forTerminal(std::string text, bool terminal);

// A stored path as `oru list`, `oru test` and the -v lines show it, on a terminal and off one:
// control characters as escapes ("\n", "\t", "\r", "\a", "\b", "\f", "\v", the others "\xHH",
// those of U+0080 to U+009F as their two bytes "\xc2\xHH") and "\" itself doubled, so that a name
// can never make a line or a column of its own, nor drive a terminal; every other byte as it is.
std::string escapedName(const std::string& text);

// text as a JSON string, quotes included: '"' and '\' escaped, control characters as "\n",
// "\t" and the like or "\u00XX".
std::string jsonString(const std::string& text);

// The width of UTF-8 text in terminal columns: wide and fullwidth characters (East Asian
// Width W and F) take two, combining marks and format characters none, ambiguous characters
// two where the locale is Chinese, Japanese or Korean and one elsewhere.
int terminalColumns(const std::string& text);

// The progress line for a terminal of the given width, at most columns - 1 wide so that the
// cursor never reaches the last column: counts, bytes, rate, and as much of the end of name as
// fits (control characters shown as "?").
std::string progressLine(uint64_t items, uint64_t bytes, uint64_t bytesTotal, double seconds,
                         const std::string& name, int columns);

}  // namespace oru
