// SPDX-License-Identifier: GPL-3.0-or-later
// The progress line drawn into a fake terminal of known width, which wraps as a real one does;
// character widths there come from the C library (wcwidth), not from the code under test.

#include "cli/ConsoleProgress.h"
#include "tests/platform/InLanguage.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cwchar>
#include <string>
#include <unistd.h>
#include <vector>

namespace oru {
namespace {

using Clock = std::chrono::steady_clock;

// A screen of fixed width fed with what a program writes: printable characters, "\r", "\n"
// and the erase-to-end-of-row sequence "\033[K". A character that does not fit in the row
// wraps to the next one, and the wrap is counted.
class FakeTerminal {
public:
    explicit FakeTerminal(int columns) : columns_(columns), rows_(1) {}

    void feed(const std::string& bytes) {
        std::mbstate_t state{};
        for (size_t i = 0; i < bytes.size();) {
            if (bytes[i] == '\r') {
                column_ = 0;
                ++i;
            } else if (bytes[i] == '\n') {
                newRow();
                ++i;
            } else if (bytes.compare(i, 3, "\033[K") == 0) {
                rows_[row_].resize(column_);
                i += 3;
            } else {
                ASSERT_NE(bytes[i], '\033') << "unexpected escape sequence at " << i;
                wchar_t wc = 0;
                const size_t n = std::mbrtowc(&wc, bytes.data() + i, bytes.size() - i, &state);
                ASSERT_TRUE(n > 0 && n <= 4) << "not UTF-8 at " << i;
                const int width = wcwidth(wc);
                ASSERT_GE(width, 0) << "unprintable character at " << i;
                if (column_ + width > columns_) {
                    ++wraps_;
                    newRow();
                }
                put(bytes.substr(i, n), width);
                i += n;
            }
        }
    }

    int wraps() const { return wraps_; }
    // The rows as text, blanks at the end removed.
    std::vector<std::string> rows() const {
        std::vector<std::string> text;
        for (const auto& cells : rows_) {
            std::string row;
            for (const auto& cell : cells) row += cell;
            while (!row.empty() && row.back() == ' ') row.pop_back();
            text.push_back(row);
        }
        return text;
    }

private:
    void newRow() {
        ++row_;
        column_ = 0;
        if (row_ == static_cast<int>(rows_.size())) rows_.emplace_back();
    }
    // A character of two columns fills its second cell with nothing.
    void put(const std::string& character, int width) {
        auto& cells = rows_[row_];
        if (static_cast<int>(cells.size()) < column_ + width) cells.resize(column_ + width, " ");
        cells[column_] = character;
        if (width == 2) cells[column_ + 1] = "";
        column_ += width;
    }

    int columns_;
    int row_ = 0, column_ = 0, wraps_ = 0;
    std::vector<std::vector<std::string>> rows_;
};

int wcColumns(const std::string& text) {
    std::mbstate_t state{};
    int width = 0;
    for (size_t i = 0; i < text.size();) {
        wchar_t wc = 0;
        const size_t n = std::mbrtowc(&wc, text.data() + i, text.size() - i, &state);
        if (n == 0 || n > 4) return -1;
        width += wcwidth(wc);
        i += n;
    }
    return width;
}

// The line in English unless a test says otherwise.
class ConsoleProgressTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr); }
    void TearDown() override { std::setlocale(LC_CTYPE, "C"); }

    InLanguage english_{language::Language::English};
};

// 資料夾/子資料夾/中文檔名很長很長的檔案.txt: 42 columns, most of them two-column characters.
const std::string kLongName = "資料夾/子資料夾/中文檔名很長很長的檔案.txt";

TEST_F(ConsoleProgressTest, LinesFitTheTerminalWithWideCharacters) {
    const std::string names[] = {kLongName, "a.txt", "", std::string(200, 'x'), "e\xcc\x81\xcc\x81 ok",
                                 "ctrl\x1b[31m\n\x7f", "bad\xff\xfe utf8", "全形ＡＢＣ１２３"};
    for (const auto lang : {language::Language::English, language::Language::TraditionalChinese})
    for (int columns : {1, 10, 31, 40, 41, 60, 80, 200}) {
        for (const std::string& name : names) {
            InLanguage in(lang);
            const std::string line = progressLine(12345, 5u << 20, 9u << 20, 2.0, name, columns);
            const int width = wcColumns(line);
            EXPECT_GE(width, 0) << line;
            EXPECT_LE(width, columns - 1) << line;
            EXPECT_EQ(terminalColumns(line), width) << line;
            EXPECT_EQ(line.find_first_of("\r\n\x1b\x7f"), std::string::npos) << line;
        }
    }
    // Room for the name is used, a wide character is never cut in half, and the end stays.
    const std::string line = progressLine(0, 0, 0, 1.5, kLongName, 50);
    EXPECT_EQ(line, "0 items  0 B  0 B/s  ...文檔名很長很長的檔案.txt");
    EXPECT_EQ(progressLine(1, 1536, 0, 1.0, "a", 80), "1 item  1.5 KiB  1.5 KiB/s  a");
    EXPECT_EQ(progressLine(3, 1536, 3072, 1.0, "a", 80), "3 items  1.5 KiB of 3.0 KiB  1.5 KiB/s  a");
    InLanguage chinese(language::Language::TraditionalChinese);
    EXPECT_EQ(progressLine(3, 1536, 3072, 1.0, "a", 80), "3 個項目  1.5 KiB / 3.0 KiB  1.5 KiB/s  a");
    EXPECT_EQ(progressLine(3, 1536, 3072, 1.0, "a", 9), "3 個項目");  // cut between two characters
}

TEST_F(ConsoleProgressTest, OneLineRedrawnInPlaceBelowTheItems) {
    const int columns = 60;
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    const int fd = fileno(file);
    Clock::time_point now{};
    ConsoleProgress::Terminal terminal;
    terminal.lineFd = fd;
    terminal.itemFd = fd;
    terminal.columns = columns;
    terminal.itemsOnScreen = 1;
    terminal.now = [&] { return now; };
    const auto at = [&](double seconds) {
        now = Clock::time_point{} + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    };
    {
        ConsoleProgress progress(true, true, terminal);
        Progress::Info info;
        at(0.5);
        info.currentName = kLongName;
        info.bytesDone = 512 << 10;
        progress.update(info);  // within the first second: nothing drawn
        at(1.5);
        progress.update(info);  // the long name, cut to fit
        at(1.55);
        info.bytesDone = 1 << 20;
        info.itemsDone = 1;
        progress.update(info);  // done: the -v line above, the progress line below it
        progress.nextOperation();
        // The second operation counts from zero again; the line counts the whole command.
        at(2.0);
        info = Progress::Info{};
        info.currentName = "b.txt";
        info.bytesDone = 1 << 20;
        progress.update(info);
        at(2.2);
        info.itemsDone = 1;
        progress.update(info);
        at(3.0);
        info.currentName = "c";
        info.bytesDone = (1 << 20) + (1 << 20);
        progress.update(info);
    }
    std::string written(static_cast<size_t>(lseek(fd, 0, SEEK_END)), '\0');
    ASSERT_EQ(pread(fd, written.data(), written.size(), 0), static_cast<ssize_t>(written.size()));
    std::fclose(file);

    FakeTerminal screen(columns);
    screen.feed(written);
    EXPECT_EQ(screen.wraps(), 0);
    EXPECT_EQ(screen.rows(), (std::vector<std::string>{kLongName, "b.txt", ""}));  // the line erased at the end

    // Before the end: the last line drawn stands alone in its row, nothing of longer ones left.
    FakeTerminal before(columns);
    before.feed(written.substr(0, written.rfind("\r\033[K")));
    EXPECT_EQ(before.wraps(), 0);
    EXPECT_EQ(before.rows(), (std::vector<std::string>{kLongName, "b.txt", "2 items  3.0 MiB  1.0 MiB/s  c"}));
}

// Names as listings show them, on a terminal or not: nothing a name holds can end a line, make a
// column or drive a terminal, and every name shows differently from every other. JSON strings
// escape what JSON requires.
TEST(ListedNamesTest, ControlCharactersAndBackslashAreEscaped) {
    const struct {
        std::string name, shown, json;
    } cases[] = {
        {"plain/名.txt", "plain/名.txt", "\"plain/名.txt\""},
        {"x\nf\t9", "x\\nf\\t9", "\"x\\nf\\t9\""},
        {"esc\x1b[31m", "esc\\x1b[31m", "\"esc\\u001b[31m\""},
        {"cr\r bell\a bs\b ff\f vt\v", "cr\\r bell\\a bs\\b ff\\f vt\\v", "\"cr\\r bell\\u0007 bs\\b ff\\f vt\\u000b\""},
        {"back\\slash", "back\\\\slash", "\"back\\\\slash\""},
        {"back\\nslash", "back\\\\nslash", "\"back\\\\nslash\""},  // not the same as a newline
        {"del\x7f", "del\\x7f", "\"del\\u007f\""},
        {"csi\xc2\x9b" "31m", "csi\\xc2\\x9b31m", "\"csi\xc2\x9b" "31m\""},
        {"quote\"", "quote\"", "\"quote\\\"\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(escapedName(c.name), c.shown) << c.name;
        EXPECT_EQ(jsonString(c.name), c.json) << c.name;
    }
}

}  // namespace
}  // namespace oru
