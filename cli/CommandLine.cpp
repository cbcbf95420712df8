// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"

#include <getopt.h>

#include <cstring>

#include "platform/Messages.h"

namespace oru::cli {

namespace {

const char* const kEntryNote = N_(
    "ENTRY is a path of names from the top level joined by \"/\" (docs/img/b.png), or a shell-style\n"
    "pattern matched against such paths: \"*\" and \"?\" stand for any characters within one name,\n"
    "[abc] for one of a set, \"\\\" quotes the next character ('docs/*.txt', '*/README'). A path\n"
    "that names an entry exactly is taken as it is. Folders are linked by name, so a path may name\n"
    "several entries; the command acts on all of them. A path or pattern that names nothing is an\n"
    "error, reported before anything is done.\n");

// Options every command takes.
const char kCommonOptions[] = "qPhV";

struct OptionHelp {
    char letter;
    const char* option;  // the option's forms, padded to the descriptions' column
    const char* text;    // the description; its lines after the first are indented to that column
};
const OptionHelp kOptionHelp[] = {
    {'q', "  -q, --quiet            ", N_("no progress display (it shows only on a terminal)")},
    {'v', "  -v, --verbose          ", N_("print each item as it is added, extracted or deleted")},
    {'x', "  -x, --exclude=PATTERN  ",
     N_("add: leave out every item whose name (a pattern without \"/\") or\n"
        "path in the archive (a pattern with \"/\") matches; repeatable")},
    {'0', "  -0, --null             ",
     N_("list: print only the paths; -v: print the items; each as it is and\n"
        "ended by a NUL byte instead of a newline (for xargs -0)")},
    {'j', "      --json             ", N_("list: one JSON object per line for each entry")},
    {'L', "  -L, --dereference      ", N_("add: store what symbolic links point to, not the links")},
    {'P', "      --plain            ",
     N_("add: write rows with the eight catalog columns only, links followed\n"
        "(also ORU_PLAIN=1); true names, modes, times and links are not kept")},
    {'o', "  -o, --overwrite        ", N_("extract: replace files that exist in DIR")},
    {'n', "  -n, --skip-existing    ", N_("extract: keep files that exist in DIR and skip those entries")},
    {'h', "  -h, --help             ", N_("this text; COMMAND --help describes one command")},
    {'V', "  -V, --version          ", N_("the version")},
};

// The options section of the help: every option, or those command takes.
std::string optionsText(const CommandHelp* command) {
    std::string text = tr("options (anywhere after \"oru\"; \"--\" ends them):\n");
    for (const OptionHelp& o : kOptionHelp) {
        if (command && !std::strchr(kCommonOptions, o.letter) && !std::strchr(command->options, o.letter)) continue;
        const std::string indent(std::strlen(o.option), ' ');
        std::string description = tr(o.text);
        for (size_t at = description.find('\n'); at != std::string::npos; at = description.find('\n', at + 1)) {
            description.insert(at + 1, indent);
        }
        text += o.option + description + "\n";
    }
    return text;
}

// Long options and their short letters; every short option has a long form ("P" stands for
// --plain, which has no short form).
const option kLongOptions[] = {
    {"quiet", no_argument, nullptr, 'q'},
    {"verbose", no_argument, nullptr, 'v'},
    {"exclude", required_argument, nullptr, 'x'},
    {"null", no_argument, nullptr, '0'},
    {"json", no_argument, nullptr, 'j'},
    {"dereference", no_argument, nullptr, 'L'},
    {"plain", no_argument, nullptr, 'P'},
    {"overwrite", no_argument, nullptr, 'o'},
    {"skip-existing", no_argument, nullptr, 'n'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};
// Leading "-": operands come back in order as option 1, so the first one is the command and
// options may stand before or after it; ":": a missing argument is told apart from an unknown
// option.
// --json and --plain have no short form: 'j' and 'P' stand for them among the option letters only.
const char kShortOptions[] = "-:qv0x:LonhV";

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
    if (matches.size() == 1 && eq != std::string::npos) return tr("option %1$s takes no value", {matches[0]});
    if (matches.size() > 1) {
        std::string all;
        for (const auto& m : matches) all += (all.empty() ? "" : ", ") + m;
        return tr("ambiguous option %1$s (%2$s)", {"--" + name, all});
    }
    return tr("unknown option %1$s", {"--" + name});
}

}  // namespace

const std::vector<CommandHelp>& commands() {
    static const std::vector<CommandHelp> all = {
        {"new", "", "ARCHIVE", 1, 1,
         N_("Creates an empty archive. An existing file at ARCHIVE is reused with its catalog emptied.")},
        {"add", "v0xL", "[-qv0L] [-x PATTERN]... ARCHIVE PATH...", 2, -1,
         N_("Adds each file or folder (with everything below it) to the archive's top level, in the\n"
         "order given. A missing ARCHIVE is created first; an existing file that is not an archive\n"
         "is refused.")},
        {"list", "0j", "[-0|--json] ARCHIVE", 1, 1,
         N_("Lists every entry, the folder tree depth first from the top level, folders before files:\n"
         "TYPE<TAB>SIZE<TAB>STORED<TAB>DATE<TAB>PATH, TYPE \"d\" or \"f\", sizes empty for folders,\n"
         "DATE local \"YYYY-MM-DD HH:MM:SS\", PATH the names from the top level joined by \"/\".\n"
         "Control characters in PATH are shown as escapes (\\n, \\t, \\x1b) and \"\\\" as \"\\\\\", on a\n"
         "terminal or not. -0 prints only the paths as they are, each ended by a NUL byte; --json\n"
         "prints one object per line: path, type (\"folder\", \"file\" or \"other\"), size, stored, added.")},
        {"extract", "v0on", "[-qv0] [-o|-n] ARCHIVE DIR [ENTRY...]", 2, -1,
         N_("Writes the named entries (folders with everything below them), or every top-level entry,\n"
         "into DIR, which is created when missing. An entry lands in DIR under its own name.\n"
         "Without -o or -n, each file that exists is asked about on a terminal ([y]es, [n]o, [A]ll,\n"
         "[N]one, [r]ename: keep both, the new one as name~N.ext); with no terminal, the command fails\n"
         "naming them, before writing anything. Links in DIR are never followed. A damaged entry\n"
         "leaves no file; the others are extracted and the command then fails, naming it.")},
        {"cat", "", "ARCHIVE ENTRY", 2, 2,
         N_("Writes the content of a stored file to standard output (of each, in catalog order, when the\n"
         "path names several). A pattern must match exactly one entry.")},
        {"delete", "v0", "[-qv0] ARCHIVE ENTRY...", 2, -1,
         N_("Deletes the named entries (folders with everything below them) and compacts the archive.")},
        {"compact", "", "ARCHIVE", 1, 1, N_("Rewrites the archive without the space that deleted files left.")},
        {"test", "", "ARCHIVE", 1, 1,
         N_("Decodes every stored file and checks its checksum and size; prints each damaged entry and\n"
         "exits with status 1 when there is one.")},
        {"info", "", "ARCHIVE", 1, 1,
         N_("Prints the header fields, entry counts, data and dead bytes, catalog size, slots and\n"
         "change-log entries.")},
        {"recover", "v", "[-qv] ARCHIVE NEW", 2, 2,
         N_("Writes the new archive NEW (which must not exist) holding every stored file of a damaged\n"
         "ARCHIVE that verifies, leaving ARCHIVE untouched: the catalog's rows whose stored files\n"
         "decode to their recorded size and checksum, the rows of an interrupted add's recovery file,\n"
         "and zlib streams found in bytes no row accounts for, stored as recovered/OFFSET.EXT. Prints\n"
         "what was found under a made-up name and what was lost (-v: every file kept); exits with\n"
         "status 1 unless every row of a readable catalog came back under its own path.")},
    };
    return all;
}

std::string usageText() {
    std::string text = tr("usage: oru COMMAND [OPTIONS] ARGS...\n       oru --help | --version | COMMAND --help\n"
                          "commands:\n");
    for (const auto& c : commands()) text += std::string("  oru ") + c.name + " " + c.synopsis + "\n";
    return text;
}

std::string helpText() {
    return tr("oru: creates, lists, extracts and changes .oru archives.\n") + "\n" + usageText() + "\n" +
           optionsText(nullptr) + "\n" + tr(kEntryNote) + "\n" +
           tr("exit status: 0 success, 1 failure (message on standard error), 2 usage error\n");
}

std::string commandHelpText(const CommandHelp& c) {
    std::string text = tr("usage: oru %1$s %2$s\n", {c.name, c.synopsis}) + "\n" + tr(c.text) + "\n\n" +
                       optionsText(&c);
    if (std::strstr(c.synopsis, "ENTRY")) text += "\n" + tr(kEntryNote);
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
            throw UsageError(tr("unknown command %1$s", {arg}));
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
                throw UsageError(std::strncmp(word, "--", 2) == 0
                                     ? refusedLongOption(word)
                                     : tr("unknown option %1$s", {typedOption(word, optopt)}));
            case ':':
                throw UsageError(tr("option %1$s needs a PATTERN", {typedOption(word, optopt)}));
            case 'q': result.options.quiet = true; break;
            case 'v': result.options.verbose = true; break;
            case 'x': result.options.excludes.push_back(optarg); break;
            case '0': result.options.nul = true; break;
            case 'j': result.options.json = true; break;
            case 'L': result.options.dereference = true; break;
            case 'P': result.options.plain = true; break;
            case 'o': result.options.existing = Existing::Overwrite; break;
            case 'n': result.options.existing = Existing::Skip; break;
            case 'h': result.help = true; break;
            case 'V': result.version = true; break;
        }
        given.push_back({c, typedOption(word, c)});
    }
    for (; optind < argc; ++optind) operand(argv[optind]);  // everything after "--"

    if (result.version || (result.help && !result.command)) return result;
    if (!result.command) throw UsageError(tr("no command given"));
    const CommandHelp& command = *result.command;
    bool overwrite = false, skip = false;
    for (const Given& g : given) {
        if (!std::strchr(kCommonOptions, g.letter) && !std::strchr(command.options, g.letter)) {
            throw UsageError(tr("unknown option %1$s for %2$s", {g.text, command.name}));
        }
        overwrite |= g.letter == 'o';
        skip |= g.letter == 'n';
    }
    if (overwrite && skip) throw UsageError(tr("-o and -n cannot be given together"));
    if (result.options.nul && result.options.json) throw UsageError(tr("-0 and --json cannot be given together"));
    if (result.help) return result;
    const int n = static_cast<int>(result.operands.size());
    if (n < command.minArgs || (command.maxArgs >= 0 && n > command.maxArgs)) {
        throw UsageError(tr("wrong number of arguments for %1$s", {command.name}));
    }
    return result;
}

}  // namespace oru::cli
