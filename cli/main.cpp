// oru: the archiver's command-line tool. Parses the command line, runs one command and turns
// its outcome into the exit status: 0 success, 1 failure (message on standard error), 2 usage.

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "platform/Error.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct CommandHelp {
    const char* name;
    const char* synopsis;  // the arguments
    int minArgs;
    int maxArgs;           // -1: no limit
    const char* text;
};

// Text only; the commands are dispatched in run().
const CommandHelp kCommands[] = {
    {"new", "ARCHIVE", 1, 1,
     "Creates an empty archive. An existing file at ARCHIVE is reused with its catalog emptied."},
    {"add", "ARCHIVE PATH...", 2, -1,
     "Adds each file or folder (with everything below it) to the archive's top level, in the\n"
     "order given. The archive must exist (see `oru new`)."},
    {"list", "ARCHIVE", 1, 1,
     "Lists every entry, the folder tree depth first from the top level, folders before files:\n"
     "TYPE<TAB>SIZE<TAB>STORED<TAB>DATE<TAB>PATH, TYPE \"d\" or \"f\", sizes empty for folders,\n"
     "DATE local \"YYYY-MM-DD HH:MM:SS\", PATH the names from the top level joined by \"/\"."},
    {"extract", "ARCHIVE DIR [ENTRY...]", 2, -1,
     "Writes the named entries (folders with everything below them), or every top-level entry,\n"
     "into DIR, which is created when missing. An entry lands in DIR under its own name."},
    {"cat", "ARCHIVE ENTRY", 2, 2,
     "Writes the content of a stored file to standard output (of each, in catalog order, when the\n"
     "path names several)."},
    {"delete", "ARCHIVE ENTRY...", 2, -1,
     "Deletes the named entries (folders with everything below them) and compacts the archive."},
    {"compact", "ARCHIVE", 1, 1, "Rewrites the archive without the space that deleted files left."},
    {"test", "ARCHIVE", 1, 1,
     "Decodes every stored file and checks its checksum and size; prints each damaged entry and\n"
     "exits with status 1 when there is one."},
    {"info", "ARCHIVE", 1, 1,
     "Prints the header fields, entry counts, data and dead bytes, catalog size, slots and\n"
     "change-log entries."},
};

const char kEntryNote[] =
    "ENTRY is a path of names from the top level joined by \"/\" (docs/img/b.png). Folders are\n"
    "linked by name, so a path may name several entries; the command acts on all of them.\n";

class UsageError {
public:
    explicit UsageError(std::string text) : text_(std::move(text)) {}
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

const CommandHelp* findCommand(const std::string& name) {
    for (const auto& c : kCommands) {
        if (name == c.name) return &c;
    }
    return nullptr;
}

std::string usageText() {
    std::string text = "usage: oru [-q] COMMAND ARGS...\n       oru --help | --version | COMMAND --help\ncommands:\n";
    for (const auto& c : kCommands) text += std::string("  oru ") + c.name + " " + c.synopsis + "\n";
    return text;
}

void printHelp() {
    std::string text = "oru: creates, lists, extracts and changes .oru archives.\n\n" + usageText() +
                       "\noptions:\n  -q         no progress display (it shows only on a terminal)\n"
                       "  --help     this text; COMMAND --help describes one command\n"
                       "  --version  the version\n\n" + kEntryNote +
                       "\nexit status: 0 success, 1 failure (message on standard error), 2 usage error\n";
    std::fputs(text.c_str(), stdout);
}

void printCommandHelp(const CommandHelp& c) {
    std::printf("usage: oru [-q] %s %s\n\n%s\n", c.name, c.synopsis, c.text);
    if (std::strstr(c.synopsis, "ENTRY")) std::printf("\n%s", kEntryNote);
}

// Runs the command with its operands; returns the exit status.
int run(const CommandHelp& c, const std::vector<std::string>& a, const oru::cli::Options& options) {
    using namespace oru::cli;
    const std::string name = c.name;
    const std::vector<std::string> rest(a.begin() + 1, a.end());
    if (name == "new") {
        cmdNew(a[0]);
    } else if (name == "add") {
        cmdAdd(a[0], rest, options);
    } else if (name == "list") {
        cmdList(a[0]);
    } else if (name == "extract") {
        cmdExtract(a[0], a[1], std::vector<std::string>(a.begin() + 2, a.end()), options);
    } else if (name == "cat") {
        cmdCat(a[0], a[1]);
    } else if (name == "delete") {
        cmdDelete(a[0], rest, options);
    } else if (name == "compact") {
        cmdCompact(a[0], options);
    } else if (name == "test") {
        cmdTest(a[0], options);
    } else if (name == "info") {
        cmdInfo(a[0]);
    }
    return kExitOk;
}

int main2(int argc, char** argv) {
    oru::cli::Options options;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const std::string arg = argv[i];
        if (arg == "-q") {
            options.quiet = true;
        } else if (arg == "--help" || arg == "-h") {
            printHelp();
            return kExitOk;
        } else if (arg == "--version") {
            std::printf("oru %s\n", ORU_VERSION);
            return kExitOk;
        } else {
            throw UsageError("unknown option " + arg);
        }
    }
    if (i == argc) throw UsageError("no command given");
    const CommandHelp* command = findCommand(argv[i]);
    if (!command) throw UsageError(std::string("unknown command ") + argv[i]);

    // Operands; "--" ends the options, so that a path may begin with "-".
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (++i; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            printCommandHelp(*command);
            return kExitOk;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            throw UsageError("unknown option " + arg + " for " + command->name);
        } else {
            operands.push_back(arg);
        }
    }
    const int n = static_cast<int>(operands.size());
    if (n < command->minArgs || (command->maxArgs >= 0 && n > command->maxArgs)) {
        throw UsageError(std::string("wrong number of arguments for ") + command->name);
    }
    return run(*command, operands, options);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return main2(argc, argv);
    } catch (const UsageError& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "oru: %s\n%s", e.text().c_str(), usageText().c_str());
        return kExitUsage;
    } catch (const oru::Error& e) {
        std::fflush(stdout);
        std::string text = oru::displayText(e.what());
        if (text.empty()) {
            // Failures of the catalog's row store carry only a status code.
            char code[64];
            std::snprintf(code, sizeof code, "the catalog could not be read or changed (status 0x%04X).",
                          static_cast<unsigned>(e.status()));
            text = e.status() ? code : "the catalog could not be read or changed.";
        }
        std::fprintf(stderr, "oru: %s\n", text.c_str());
        return kExitFailed;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "oru: out of memory.\n");
        return kExitFailed;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "oru: %s\n", oru::displayText(e.what()).c_str());
        return kExitFailed;
    }
}
