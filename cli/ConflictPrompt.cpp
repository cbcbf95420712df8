// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/ConflictPrompt.h"

#include <string>
#include <vector>

#include "cli/ConsoleProgress.h"
#include "platform/Error.h"
#include "platform/Messages.h"

namespace oru::cli {

namespace {
// One line from in without its end of line; nullopt at the end of in.
std::optional<std::string> readLine(std::FILE* in) {
    std::string line;
    int c;
    while ((c = std::fgetc(in)) != EOF && c != '\n') line += static_cast<char>(c);
    if (c == EOF && line.empty()) return std::nullopt;
    return line;
}
}  // namespace

void ConflictPrompt::notice(const std::string& message) {
    if (beforeAsking) beforeAsking();
    std::fprintf(out_, "oru: %s\n", displayText(message).c_str());
    std::fflush(out_);
}

ConflictChoice ConflictPrompt::choose(const std::string& path) {
    switch (existing_) {
        case Existing::Overwrite: return ConflictChoice::Overwrite;
        case Existing::Skip: return ConflictChoice::Skip;
        case Existing::Unasked: break;
    }
    if (beforeAsking) beforeAsking();
    while (true) {
        std::fputs(tr("replace %1$s? [y]es, [n]o, [A]ll, [N]one, [r]ename: ", {forTerminal(path, true)}).c_str(), out_);
        std::fflush(out_);
        const std::optional<std::string> answer = readLine(in_);
        if (!answer) {
            std::fputc('\n', out_);
            return ConflictChoice::Cancel;
        }
        if (*answer == "y" || *answer == "yes") return ConflictChoice::Overwrite;
        if (*answer == "n" || *answer == "no") return ConflictChoice::Skip;
        if (*answer == "r" || *answer == "rename") return ConflictChoice::KeepBoth;
        if (*answer == "A" || *answer == "All") {
            existing_ = Existing::Overwrite;
            return ConflictChoice::Overwrite;
        }
        if (*answer == "N" || *answer == "None") {
            existing_ = Existing::Skip;
            return ConflictChoice::Skip;
        }
        std::fputs(tr("error: invalid response [%1$s]\n", {forTerminal(*answer, true)}).c_str(), out_);
    }
}

}  // namespace oru::cli
