#include "cli/ConsoleProgress.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

namespace oru {

namespace {

volatile std::sig_atomic_t interrupted = 0;

void onInterrupt(int) {
    interrupted = 1;
    std::signal(SIGINT, SIG_DFL);  // a second Ctrl+C ends the process
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

int terminalWidth() {
    winsize ws{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
    return 80;
}

// The tail of a UTF-8 name that fits in max columns (one column per character), control bytes
// shown as "?" so that a hostile name cannot drive the terminal.
std::string fitName(const std::string& name, size_t max) {
    std::string clean;
    for (unsigned char c : name) clean += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
    size_t chars = 0;
    for (unsigned char c : clean) chars += (c & 0xC0) != 0x80;
    if (chars <= max) return clean;
    if (max < 4) return "";
    size_t keep = max - 3, pos = clean.size();
    while (keep > 0 && pos > 0) {
        --pos;
        if ((static_cast<unsigned char>(clean[pos]) & 0xC0) != 0x80) --keep;
    }
    return "..." + clean.substr(pos);
}

}  // namespace

ConsoleProgress::ConsoleProgress(bool visible)
    : visible_(visible), start_(Clock::now()), lastDraw_(start_) {}

ConsoleProgress::~ConsoleProgress() { finish(); }

void ConsoleProgress::catchInterrupts() {
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
}

bool ConsoleProgress::cancelled() { return interrupted != 0; }

void ConsoleProgress::update(const Info& info) {
    if (!visible_) return;
    const auto now = Clock::now();
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    if (elapsed <= 1.0 || (drawn_ && now - lastDraw_ < std::chrono::milliseconds(100))) return;
    lastDraw_ = now;

    std::string line = std::to_string(info.itemsDone) + " items  " +
                       humanBytes(static_cast<double>(info.bytesDone));
    if (info.bytesTotal > 0) {
        line += " of " + humanBytes(static_cast<double>(info.bytesTotal));
    }
    line += "  " + humanBytes(static_cast<double>(info.bytesDone) / elapsed) + "/s";
    const int width = terminalWidth() - 1;
    if (static_cast<int>(line.size()) + 3 < width) {
        line += "  " + fitName(info.currentName, width - line.size() - 2);
    }
    std::string out = "\r" + line + "\033[K";
    (void)!write(STDERR_FILENO, out.data(), out.size());
    drawn_ = true;
}

void ConsoleProgress::finish() {
    if (!drawn_) return;
    static const char erase[] = "\r\033[K";
    (void)!write(STDERR_FILENO, erase, sizeof erase - 1);
    drawn_ = false;
}

}  // namespace oru
