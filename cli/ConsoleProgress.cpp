// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ConsoleProgress.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

#include "cli/Utf8.h"
#include "platform/Error.h"
#include "platform/Messages.h"

namespace oru {

namespace {

volatile std::sig_atomic_t caught = 0;

void onSignal(int signal) {
    if (caught == 0) caught = signal;
    // A second interrupt or termination request ends the process at once.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

std::string humanBytes(double bytes) {
    const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int u = 0;
    while (bytes >= 1024 && u < 4) {
        bytes /= 1024;
        ++u;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, u == 0 ? "%.0f %s" : "%.1f %s", bytes, units[u]);
    return buf;
}

// Terminals in these languages commonly draw characters of ambiguous width two columns wide.
bool ambiguousIsWide() {
    static const bool wide = [] {
        const std::string language = icu::Locale::getDefault().getLanguage();
        return language == "zh" || language == "ja" || language == "ko";
    }();
    return wide;
}

int columnsOf(UChar32 c) {
    const int8_t type = u_charType(c);
    if (type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK || (type == U_FORMAT_CHAR && c != 0xAD)) return 0;
    if (c >= 0x1160 && c <= 0x11FF) return 0;  // Hangul vowels and finals join the syllable before
    switch (u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH)) {
        case U_EA_WIDE:
        case U_EA_FULLWIDTH: return 2;
        case U_EA_AMBIGUOUS: return ambiguousIsWide() ? 2 : 1;
        default: return 1;
    }
}

// Text as a terminal may show it, one piece per character with its width: control characters
// and bytes that are not UTF-8 become "?", so that a hostile name cannot drive the terminal.
struct Glyph {
    std::string bytes;
    int columns;
};
std::vector<Glyph> glyphs(const std::string& text) {
    std::vector<Glyph> result;
    cli::forEachCharacter(text, [&](size_t start, size_t length, int32_t c) {
        if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
            result.push_back({"?", 1});
        } else {
            result.push_back({text.substr(start, length), columnsOf(c)});
        }
    });
    return result;
}

// The end of name in at most max columns, "..." in front when it had to be cut.
std::string fitName(const std::string& name, int max) {
    const std::vector<Glyph> all = glyphs(name);
    int width = 0;
    for (const Glyph& g : all) width += g.columns;
    std::string result;
    if (width <= max) {
        for (const Glyph& g : all) result += g.bytes;
        return result;
    }
    int room = max - 3;
    size_t first = all.size();
    while (first > 0 && all[first - 1].columns <= room) room -= all[--first].columns;
    result = "...";
    for (size_t i = first; i < all.size(); ++i) result += all[i].bytes;
    return result;
}

// The start of text in at most max columns, cut between two characters.
std::string fitStart(const std::string& text, int max) {
    std::string result;
    for (const Glyph& g : glyphs(text)) {
        if (g.columns > max) break;
        max -= g.columns;
        result += g.bytes;
    }
    return result;
}

// Writes all of text to fd; false when the descriptor refused it.
bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t w = ::write(fd, text.data() + done, text.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        done += static_cast<size_t>(w);
    }
    return true;
}

int columnsOfTerminal(int fd) {
    winsize ws{};
    if (ioctl(fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
    return 80;
}

}  // namespace

std::string forTerminal(std::string text, bool terminal) {
    if (!terminal) return text;
    for (char& c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) c = '?';
    }
    return text;
}

std::string escapedName(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto u = static_cast<unsigned char>(c);
        // The C1 controls (U+0080 to U+009F, C2 80 to C2 9F in UTF-8) drive terminals too.
        const bool c1 = u == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (c1) {
            const auto next = static_cast<unsigned char>(text[++i]);
            shown += "\\xc2\\x";
            shown += kHex[next >> 4];
            shown += kHex[next & 15];
            continue;
        }
        switch (c) {
            case '\\': shown += "\\\\"; continue;
            case '\n': shown += "\\n"; continue;
            case '\t': shown += "\\t"; continue;
            case '\r': shown += "\\r"; continue;
            case '\a': shown += "\\a"; continue;
            case '\b': shown += "\\b"; continue;
            case '\f': shown += "\\f"; continue;
            case '\v': shown += "\\v"; continue;
            default: break;
        }
        if (u < 0x20 || u == 0x7F) {
            shown += "\\x";
            shown += kHex[u >> 4];
            shown += kHex[u & 15];
        } else {
            shown += c;
        }
    }
    return shown;
}

std::string jsonString(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string json = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '"': json += "\\\""; continue;
            case '\\': json += "\\\\"; continue;
            case '\n': json += "\\n"; continue;
            case '\t': json += "\\t"; continue;
            case '\r': json += "\\r"; continue;
            case '\b': json += "\\b"; continue;
            case '\f': json += "\\f"; continue;
            default: break;
        }
        if (u < 0x20 || u == 0x7F) {
            json += "\\u00";
            json += kHex[u >> 4];
            json += kHex[u & 15];
        } else {
            json += c;
        }
    }
    return json + "\"";
}

int terminalColumns(const std::string& text) {
    int width = 0;
    for (const Glyph& g : glyphs(text)) width += g.columns;
    return width;
}

std::string progressLine(uint64_t items, uint64_t bytes, uint64_t bytesTotal, double seconds,
                         const std::string& name, int columns) {
    const std::string count = std::to_string(items);
    std::string line = trn("%1$s item", "%1$s items", static_cast<int64_t>(items), {count}) + "  ";
    if (bytesTotal > 0) {
        line += tr("%1$s of %2$s",
                   {humanBytes(static_cast<double>(bytes)), humanBytes(static_cast<double>(bytesTotal))});
    } else {
        line += humanBytes(static_cast<double>(bytes));
    }
    if (seconds > 0) line += "  " + humanBytes(static_cast<double>(bytes) / seconds) + "/s";
    const int room = columns - 1;
    if (room <= 0) return "";
    if (terminalColumns(line) > room) return fitStart(line, room);
    const int nameRoom = room - terminalColumns(line) - 2;
    if (nameRoom >= 4 && !name.empty()) line += "  " + fitName(name, nameRoom);
    return line;
}

ConsoleProgress::ConsoleProgress(bool visible, bool verbose) : ConsoleProgress(visible, verbose, Terminal{}) {}

ConsoleProgress::ConsoleProgress(bool visible, bool verbose, Terminal terminal)
    : visible_(visible), verbose_(verbose), terminal_(std::move(terminal)),
      itemsToTerminal_(terminal_.itemsOnScreen < 0 ? isatty(terminal_.itemFd) == 1 : terminal_.itemsOnScreen == 1), start_(terminal_.now()), lastDraw_(start_) {}

ConsoleProgress::~ConsoleProgress() { finish(); }

void ConsoleProgress::catchInterrupts() {
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

int ConsoleProgress::caughtSignal() { return caught; }

bool ConsoleProgress::cancelled() { return caught != 0; }

std::string skipReasonText(SkipReason reason) {
    switch (reason) {
        case SkipReason::Denied: return tr("permission denied");
        case SkipReason::Missing: return tr("not found");
        case SkipReason::BrokenLink: return tr("broken symbolic link");
        case SkipReason::ReadError: return tr("read error");
        case SkipReason::Unlistable: return tr("folder cannot be listed");
        case SkipReason::InUse: return tr("in use by another program");
        case SkipReason::NotAFile: return tr("not a file or folder");
        case SkipReason::ArchiveItself: return tr("the archive being added to");
    }
    return tr("cannot be read");
}

void ConsoleProgress::skipped(const std::string& path, SkipReason reason) {
    ++skipped_;
    // Always one line per item: control characters are shown as "?" wherever it goes.
    note("oru: " + tr("%1$s: %2$s (not added)", {forTerminal(path, true), skipReasonText(reason)}) + "\n");
}

void ConsoleProgress::note(const std::string& line) {
    const bool redraw = drawn_;
    if (redraw) finish();
    (void)writeAll(terminal_.lineFd, line);
    if (redraw) draw();
}

void ConsoleProgress::nextOperation() {
    done_.itemsDone += current_.itemsDone;
    done_.bytesDone += current_.bytesDone;
    done_.bytesTotal += current_.bytesTotal;
    current_ = Info{};
}

void ConsoleProgress::update(const Info& info) {
    const bool itemDone = info.itemsDone > current_.itemsDone;
    current_ = info;
    if (verbose_ && itemDone) item(info.currentName);
    if (!visible_) return;
    const auto now = terminal_.now();
    if (now - start_ <= std::chrono::seconds(1) || (drawn_ && now - lastDraw_ < std::chrono::milliseconds(100))) {
        return;
    }
    draw();
}

void ConsoleProgress::draw() {
    lastDraw_ = terminal_.now();
    const double seconds = std::chrono::duration<double>(lastDraw_ - start_).count();
    const int columns = terminal_.columns > 0 ? terminal_.columns : columnsOfTerminal(terminal_.lineFd);
    const std::string line = progressLine(done_.itemsDone + current_.itemsDone, done_.bytesDone + current_.bytesDone,
                                          done_.bytesTotal + current_.bytesTotal, seconds, current_.currentName,
                                          columns);
    // Back to the first column, the line, then the rest of the row cleared: what a longer
    // earlier line left there goes.
    (void)writeAll(terminal_.lineFd, "\r" + line + "\033[K");
    drawn_ = true;
}

void ConsoleProgress::item(const std::string& path) {
    // On the terminal that shows the line, the item goes above it; elsewhere the line stays.
    const bool redraw = drawn_ && itemsToTerminal_;
    if (redraw) finish();
    if (!writeAll(terminal_.itemFd, nulItems_ ? path + '\0' : escapedName(path) + "\n")) {
        throw Error(ErrorKind::WriteError, {.errnum = errno});
    }
    if (redraw) draw();
}

void ConsoleProgress::renamed(const std::string& from, const std::string& to) {
    const bool redraw = drawn_;
    if (redraw) finish();
    // Always one line per item: control characters are shown as "?" wherever it goes.
    (void)writeAll(terminal_.lineFd,
                   "oru: " + tr("%1$s -> %2$s (renamed)", {forTerminal(from, true), forTerminal(to, true)}) + "\n");
    if (redraw) draw();
}

void ConsoleProgress::finish() {
    if (!drawn_) return;
    (void)writeAll(terminal_.lineFd, "\r\033[K");
    drawn_ = false;
}

}  // namespace oru
