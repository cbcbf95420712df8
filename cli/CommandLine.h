// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line of `oru`: the commands with their help texts, and the parser that turns
// argv into one command, its operands and its options (getopt_long: options anywhere, short and
// long forms, "--" ends them).

#include <string>
#include <vector>

#include "cli/Commands.h"

namespace oru::cli {

struct CommandHelp {
    const char* name;
    const char* options;   // the option letters the command takes besides -q, -h and -V
    const char* synopsis;  // the arguments
    int minArgs;
    int maxArgs;           // -1: no limit
    const char* text;      // the description in English; tr() gives it in the user's language
};

// Every command, in the order --help lists them.
const std::vector<CommandHelp>& commands();

struct Invocation {
    const CommandHelp* command = nullptr;  // nullptr only with help or version
    std::vector<std::string> operands;
    Options options;
    bool help = false;     // -h/--help: describe the command, or the tool without one
    bool version = false;  // -V/--version
};

// A command line that cannot run; the text says why (the usage text follows it on standard error).
class UsageError {
public:
    explicit UsageError(std::string text) : text_(std::move(text)) {}
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// Parses argv. Throws UsageError for an unknown option or command, an option the command does
// not take, a missing option argument, or a wrong number of operands (not checked with help).
Invocation parseCommandLine(int argc, char** argv);

std::string usageText();
std::string helpText();
std::string commandHelpText(const CommandHelp& command);

}  // namespace oru::cli
