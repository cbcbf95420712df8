#include "cli/CommandLine.h"

#include <getopt.h>

#include <cstring>

namespace oru::cli {

namespace {

const char kEntryNote[] =
    "ENTRY is a path of names from the top level joined by \"/\" (docs/img/b.png), or a shell-style\n"
    "pattern matched against such paths: \"*\" and \"?\" stand for any characters within one name,\n"
    "[abc] for one of a set, \"\\\" quotes the next character ('docs/*.txt', '*/README'). A path\n"
    "that names an entry exactly is taken as it is. Folders are linked by name, so a path may name\n"
    "several entries; the command acts on all of them. A path or pattern that names nothing is an\n"
    "error, reported before anything is done.\n";

struct OptionHelp {
    char letter;
    const char* text;
};
const OptionHelp kOptionHelp[] = {
    {'q', "  -q, --quiet            no progress display (it shows only on a terminal)\n"},
    {'v', "  -v, --verbose          print each item as it is added, extracted or deleted\n"},
    {'x', "  -x, --exclude=PATTERN  add: leave out every item whose name (a pattern without \"/\") or\n"
          "                         path in the archive (a pattern with \"/\") matches; repeatable\n"},
    {'o', "  -o, --overwrite        extract: replace files that exist in DIR\n"},
    {'n', "  -n, --skip-existing    extract: keep files that exist in DIR and skip those entries\n"},
    {'h', "  -h, --help             this text; COMMAND --help describes one command\n"},
    {'V', "  -V, --version          the version\n"},
};

// The options section of the help: every option, or those command takes.
std::string optionsText(const CommandHelp* command) {
    std::string text = "options (anywhere after \"oru\"; \"--\" ends them):\n";
    for (const OptionHelp& o : kOptionHelp) {
        if (!command || o.letter == 'q' || std::strchr(command->options, o.letter)) text += o.text;
    }
    return text;
}

// Long options and their short letters; every short option has a long form.
const option kLongOptions[] = {
    {"quiet", no_argument, nullptr, 'q'},
    {"verbose", no_argument, nullptr, 'v'},
    {"exclude", required_argument, nullptr, 'x'},
    {"overwrite", no_argument, nullptr, 'o'},
    {"skip-existing", no_argument, nullptr, 'n'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};
// Leading "-": operands come back in order as option 1, so the first one is the command and
// options may stand before or after it; ":": a missing argument is told apart from an unknown
// option.
const char kShortOptions[] = "-:qvx:onhV";
// Options every command takes.
const char kCommonOptions[] = "qhV";

const CommandHelp* findCommand(const std::string& name) {
    for (const auto& c : commands()) {
        if (name == c.name) return &c;
    }
    return nullptr;
}

// The option as the user typed it, for messages: "-x" (also inside "-qx"), or "--exclude"
// without "=VALUE". word: the argument getopt_long was reading; letter: the short form.
std::string typedOption(const char* word, int letter) {
    std::string text = word;
    if (text.rfind("--", 0) != 0) return std::string("-") + static_cast<char>(letter);
    const size_t eq = text.find('=');
    return eq == std::string::npos ? text : text.substr(0, eq);
}

// Why getopt_long refused the long option in word: a prefix of several options, a value given
// to an option that takes none, or no such option.
std::string refusedLongOption(const std::string& word) {
    const size_t eq = word.find('=');
    const std::string name = word.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
    std::vector<std::string> matches;
    for (const option* o = kLongOptions; o->name; ++o) {
        if (!name.empty() && std::strncmp(o->name, name.c_str(), name.size()) == 0) {
            matches.push_back(std::string("--") + o->name);
        }
    }
    if (matches.size() == 1 && eq != std::string::npos) return "option " + matches[0] + " takes no value";
    if (matches.size() > 1) {
        std::string all;
        for (const auto& m : matches) all += (all.empty() ? "" : ", ") + m;
        return "ambiguous option --" + name + " (" + all + ")";
    }
    return "unknown option --" + name;
}

}  // namespace

const std::vector<CommandHelp>& commands() {
    static const std::vector<CommandHelp> all = {
        {"new", "", "ARCHIVE", 1, 1,
         "Creates an empty archive. An existing file at ARCHIVE is reused with its catalog emptied."},
        {"add", "vx", "[-qv] [-x PATTERN]... ARCHIVE PATH...", 2, -1,
         "Adds each file or folder (with everything below it) to the archive's top level, in the\n"
         "order given. A missing ARCHIVE is created first; an existing file that is not an archive\n"
         "is refused."},
        {"list", "", "ARCHIVE", 1, 1,
         "Lists every entry, the folder tree depth first from the top level, folders before files:\n"
         "TYPE<TAB>SIZE<TAB>STORED<TAB>DATE<TAB>PATH, TYPE \"d\" or \"f\", sizes empty for folders,\n"
         "DATE local \"YYYY-MM-DD HH:MM:SS\", PATH the names from the top level joined by \"/\"."},
        {"extract", "von", "[-qv] [-o|-n] ARCHIVE DIR [ENTRY...]", 2, -1,
         "Writes the named entries (folders with everything below them), or every top-level entry,\n"
         "into DIR, which is created when missing. An entry lands in DIR under its own name.\n"
         "Without -o or -n, each file that exists is asked about on a terminal ([y]es, [n]o, [A]ll,\n"
         "[N]one, [r]ename: keep both, the new one as name~N.ext); with no terminal, the command fails\n"
         "naming them, before writing anything. Links in DIR are never followed. A damaged entry\n"
         "leaves no file; the others are extracted and the command then fails, naming it."},
        {"cat", "", "ARCHIVE ENTRY", 2, 2,
         "Writes the content of a stored file to standard output (of each, in catalog order, when the\n"
         "path names several). A pattern must match exactly one entry."},
        {"delete", "v", "[-qv] ARCHIVE ENTRY...", 2, -1,
         "Deletes the named entries (folders with everything below them) and compacts the archive."},
        {"compact", "", "ARCHIVE", 1, 1, "Rewrites the archive without the space that deleted files left."},
        {"test", "", "ARCHIVE", 1, 1,
         "Decodes every stored file and checks its checksum and size; prints each damaged entry and\n"
         "exits with status 1 when there is one."},
        {"info", "", "ARCHIVE", 1, 1,
         "Prints the header fields, entry counts, data and dead bytes, catalog size, slots and\n"
         "change-log entries."},
    };
    return all;
}

std::string usageText() {
    std::string text = "usage: oru COMMAND [OPTIONS] ARGS...\n       oru --help | --version | COMMAND --help\ncommands:\n";
    for (const auto& c : commands()) text += std::string("  oru ") + c.name + " " + c.synopsis + "\n";
    return text;
}

std::string helpText() {
    return "oru: creates, lists, extracts and changes .oru archives.\n\n" + usageText() + "\n" +
           optionsText(nullptr) + "\n" + kEntryNote +
           "\nexit status: 0 success, 1 failure (message on standard error), 2 usage error\n";
}

std::string commandHelpText(const CommandHelp& c) {
    std::string text = std::string("usage: oru ") + c.name + " " + c.synopsis + "\n\n" + c.text + "\n\n" +
                       optionsText(&c);
    if (std::strstr(c.synopsis, "ENTRY")) text += std::string("\n") + kEntryNote;
    return text;
}

Invocation parseCommandLine(int argc, char** argv) {
    Invocation result;
    struct Given {
        int letter;
        std::string text;
    };
    std::vector<Given> given;  // options in the order typed, checked once the command is known
    auto operand = [&](const char* arg) {
        if (result.command) {
            result.operands.push_back(arg);
        } else if (!(result.command = findCommand(arg))) {
            throw UsageError(std::string("unknown command ") + arg);
        }
    };

    opterr = 0;  // the messages are ours
    optind = 0;  // glibc: start afresh, also when called more than once
    for (;;) {
        // Without permutation getopt_long reads the arguments in order, and optind stays on an
        // argument while it reads the letters of "-qv": this is the argument it reads next.
        const char* word = argv[optind == 0 ? 1 : optind];
        const int c = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr);
        if (c == -1) break;
        switch (c) {
            case 1:
                operand(optarg);
                continue;
            case '?':
                throw UsageError(std::strncmp(word, "--", 2) == 0 ? refusedLongOption(word)
                                                                  : "unknown option " + typedOption(word, optopt));
            case ':':
                throw UsageError("option " + typedOption(word, optopt) + " needs a PATTERN");
            case 'q': result.options.quiet = true; break;
            case 'v': result.options.verbose = true; break;
            case 'x': result.options.excludes.push_back(optarg); break;
            case 'o': result.options.existing = Existing::Overwrite; break;
            case 'n': result.options.existing = Existing::Skip; break;
            case 'h': result.help = true; break;
            case 'V': result.version = true; break;
        }
        given.push_back({c, typedOption(word, c)});
    }
    for (; optind < argc; ++optind) operand(argv[optind]);  // everything after "--"

    if (result.version || (result.help && !result.command)) return result;
    if (!result.command) throw UsageError("no command given");
    const CommandHelp& command = *result.command;
    bool overwrite = false, skip = false;
    for (const Given& g : given) {
        if (!std::strchr(kCommonOptions, g.letter) && !std::strchr(command.options, g.letter)) {
            throw UsageError("unknown option " + g.text + " for " + command.name);
        }
        overwrite |= g.letter == 'o';
        skip |= g.letter == 'n';
    }
    if (overwrite && skip) throw UsageError("-o and -n cannot be given together");
    if (result.help) return result;
    const int n = static_cast<int>(result.operands.size());
    if (n < command.minArgs || (command.maxArgs >= 0 && n > command.maxArgs)) {
        throw UsageError(std::string("wrong number of arguments for ") + command.name);
    }
    return result;
}

}  // namespace oru::cli
