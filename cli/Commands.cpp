// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Commands.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

#include "archive/ArchiveFigures.h"
#include "archive/CatalogTree.h"
#include "archive/DeleteJob.h"
#include "archive/TestJob.h"
#include "archive/zipUtil.h"
#include "catalog/ArchiveSchema.h"
#include "catalog/CatalogTable.h"
#include "cli/ConflictPrompt.h"
#include "cli/ConsoleProgress.h"
#include "cli/EntrySelection.h"
#include "cli/PathPattern.h"
#include "cli/Sinks.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/Error.h"
#include "platform/Messages.h"
#include "platform/FileSystem.h"

namespace oru::cli {

namespace {

// Commands that only read open the archive shared: archives the user may only read work, and
// several readers may run at once, but never beside a writer.
// Says on standard error, once each, what the engine left alone beside the archive (a side
// file planted by someone else, say); the command itself goes on.
void showWarnings(const TKiv& kiv) {
    static size_t shown = 0;
    const auto& warnings = kiv.Warnings();
    for (; shown < warnings.size(); ++shown) {
        std::fprintf(stderr, "oru: %s\n", tr("warning: %1$s", {displayText(warnings[shown])}).c_str());
    }
}

std::unique_ptr<TKiv> openArchive(const std::string& path, TKiv::Access access = TKiv::Access::Exclusive) {
    auto kiv = TKiv::OpenExisting(path, access);
    // The window's ordering: deleting and compacting visit rows in it, so the tool leaves
    // archives exactly as the window would.
    kiv->Catalog().SetOrdering(schema::kListingOrdering);
    showWarnings(*kiv);
    return kiv;
}

bool progressVisible(const Options& options) { return !options.quiet && isatty(STDERR_FILENO); }

// Runs work with a progress display attached to the archive; Ctrl+C or SIGTERM stops it.
// work receives the display, to mark where one engine operation ends and the next begins.
// namesItems: -v prints the items the engine reports done (not so for compaction, whose items
// are the entries it keeps).
template <typename Work>
void withProgress(TKiv& kiv, const Options& options, Work work, bool namesItems = true) {
    ConsoleProgress progress(progressVisible(options), options.verbose && namesItems);
    ConsoleProgress::catchInterrupts();
    kiv.SetProgress(&progress);
    struct Detach {
        TKiv& kiv;
        ~Detach() {
            kiv.SetProgress(nullptr);
            showWarnings(kiv);
        }
    } detach{kiv};
    work(progress);
}

// Whether -x leaves out path, met while adding source: a pattern without "/" is matched against
// the item's name, one with "/" against its path in the archive (source's name, then the names
// below it).
bool excluded(const std::vector<std::string>& patterns, const std::string& source, const std::string& path) {
    const std::string name = fs::lastComponent(path);
    const std::string archivePath = fs::lastComponent(source) + path.substr(std::min(source.size(), path.size()));
    for (const std::string& pattern : patterns) {
        const bool byPath = pattern.find('/') != std::string::npos;
        if (cli::matchesPattern(byPath ? cli::joinedNames(pattern) : pattern, byPath ? archivePath : name)) return true;
    }
    return false;
}

std::string sizeText(const CatalogTable& catalog, int index, const char* field) {
    return catalog.HasValueAt(index, field) ? std::to_string(catalog.IntegerAt(index, field)) : "";
}

std::string dateText(const CatalogTable& catalog, int index) {
    return catalog.HasValueAt(index, schema::kCheckinDate)
               ? clock::formatIso(catalog.DateTimeAt(index, schema::kCheckinDate))
               : "";
}

// The path `oru list` shows first for each row, kept as links so that memory stays linear in
// the rows: the folder row each row was first seen in, and the one each folder was first
// entered from. A row that no chain of folders reaches is named by its parent's name and its own.
class FirstPaths : public CatalogTree::Visitor {
public:
    FirstPaths(const CatalogTable& catalog, const CatalogTree& tree)
        : catalog_(catalog), seenIn_(static_cast<size_t>(tree.size()), kNone),
          enteredFrom_(static_cast<size_t>(tree.size()), kNone) {
        tree.walkBelow("", CatalogTree::listing(), *this);
    }
    void visit(int row, bool entered) override {
        const int folder = open_.empty() ? kTop : open_.back();
        if (seenIn_[static_cast<size_t>(row)] == kNone) seenIn_[static_cast<size_t>(row)] = folder;
        if (!entered) return;
        if (enteredFrom_[static_cast<size_t>(row)] == kNone) enteredFrom_[static_cast<size_t>(row)] = folder;
        open_.push_back(row);
    }
    void leave(int) override { open_.pop_back(); }

    std::string label(int row) const {
        if (seenIn_[static_cast<size_t>(row)] == kNone) {
            return cp950::toUtf8(catalog_.TextAt(row, schema::kParentName)) + "/" + name(row);
        }
        std::vector<int> chain{row};
        for (int f = seenIn_[static_cast<size_t>(row)]; f != kTop; f = enteredFrom_[static_cast<size_t>(f)]) {
            chain.push_back(f);
        }
        std::string path;
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) path += (path.empty() ? "" : "/") + name(*it);
        return path;
    }

private:
    static constexpr int kNone = -2, kTop = -1;
    std::string name(int row) const { return cp950::toUtf8(catalog_.TextAt(row, schema::kFileName)); }

    const CatalogTable& catalog_;
    std::vector<int> seenIn_;       // by row: the folder row it was first visited in
    std::vector<int> enteredFrom_;  // by folder row: the folder row it was first entered from
    std::vector<int> open_;         // the folder rows on the current path
};

// Bookmarks of the rows at the given view indexes.
std::vector<Bookmark> bookmarksOf(CatalogTable& catalog, const std::vector<int>& rows) {
    std::vector<Bookmark> marks;
    marks.reserve(rows.size());
    for (int i : rows) {
        catalog.SetRecordNumber(i + 1);
        marks.push_back(*catalog.GetBookmark());
    }
    return marks;
}

// The four magic bytes as text, bytes outside printable ASCII as \xNN.
std::string printableMagic(const char (&magic)[4]) {
    std::string text;
    for (char c : magic) {
        const unsigned char u = static_cast<unsigned char>(c);
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", u);
        text += (u >= 0x20 && u < 0x7F && c != '\\') ? std::string(1, c) : std::string(hex);
    }
    return text;
}

}  // namespace

std::string addablePath(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    std::string name = fs::lastComponent(p);
    if (name == "." || name == ".." || name.empty()) {
        char resolved[PATH_MAX];
        if (realpath(p.c_str(), resolved) == nullptr) throw Error(ErrorKind::CannotOpen, {.path = path});
        p = resolved;
        if (fs::lastComponent(p).empty()) throw Error(ErrorKind::NoName, {.path = path});
    }
    return p;
}

void cmdNew(const std::string& archive) { TKiv::CreateNew(archive); }

void cmdAdd(const std::string& archive, const std::vector<std::string>& paths, const Options& options) {
    std::vector<std::string> sources;
    for (const auto& p : paths) sources.push_back(addablePath(p));
    // A missing archive is made first, as zip and 7z do; anything at the path (a file that is not
    // an archive, a link) goes to OpenExisting, which refuses what it cannot open.
    struct stat st {};
    const bool created = lstat(archive.c_str(), &st) != 0 && errno == ENOENT;
    auto kiv = created ? TKiv::CreateNew(archive) : openArchive(archive);
    if (options.plain) kiv->SetPlain(true);
    kiv->SetDereference(options.dereference);
    const std::string* source = nullptr;  // the PATH being added
    if (!options.excludes.empty()) {
        kiv->SetAddFilter([&](const std::string& path) { return excluded(options.excludes, *source, path); });
    }
    try {
        withProgress(*kiv, options, [&](ConsoleProgress& progress) {
            for (const auto& s : sources) {
                source = &s;
                kiv->AddPath("", s);
                progress.nextOperation();
            }
            // Each item left out has had its line; the command fails once all the rest is in.
            if (const uint64_t n = progress.skippedCount(); n > 0) {
                throw Error(ErrorKind::ItemsSkipped, {.count = static_cast<int64_t>(n)});
            }
        });
    } catch (...) {
        // An archive this command made and could put nothing into is not left behind.
        if (created && kiv->Catalog().ViewSize() == 0) {
            kiv.reset();
            fs::deleteFile(archive);
        }
        throw;
    }
}

void cmdList(const std::string& archive) {
    auto kiv = openArchive(archive, TKiv::Access::Shared);
    const CatalogTable& catalog = kiv->Catalog();
    const CatalogTree tree(catalog, archive);
    const bool terminal = isatty(STDOUT_FILENO);
    DescriptorSink out(STDOUT_FILENO);
    std::string line;
    tree.walk([&](int i, const std::string& path) {
        // Rows of a type other than folder and file are listed as "?", never as files.
        const int64_t type = catalog.IntegerAt(i, schema::kFileType);
        line = type == schema::kFolder ? "d\t\t\t"
                                       : std::string(type == schema::kFile ? "f" : "?") + "\t" +
                                             sizeText(catalog, i, schema::kOriginalSize) + "\t" +
                                             sizeText(catalog, i, schema::kStoredSize) + "\t";
        line += dateText(catalog, i) + "\t" + forTerminal(path, terminal) + "\n";
        out.write(line.data(), line.size());
    });
    out.flush();
}

void cmdExtract(const std::string& archive, const std::string& directory,
                const std::vector<std::string>& entries, const Options& options) {
    auto kiv = openArchive(archive, TKiv::Access::Shared);
    CatalogTable& catalog = kiv->Catalog();
    std::vector<Bookmark> rows;
    if (entries.empty()) {
        // Every top-level row, as the window extracts the root folder's listing.
        catalog.SetFilterText(CatalogTable::parentFilter(""));
        catalog.SetFiltered(true);
        for (catalog.First(); !catalog.AtEnd(); catalog.Next()) rows.push_back(*catalog.GetBookmark());
    } else {
        for (int i : resolveEntries(CatalogTree(catalog, archive), entries, archive)) {
            catalog.SetRecordNumber(i + 1);
            rows.push_back(*catalog.GetBookmark());
        }
    }
    // Files in the way are never replaced unasked: without -o or -n a terminal is asked per file;
    // with nobody to ask, every one is found before anything is written, and the command fails.
    const bool canAsk = isatty(STDIN_FILENO) && isatty(STDERR_FILENO);
    if (options.existing == Existing::Unasked && !canAsk) {
        const std::vector<std::string> inTheWay = kiv->FindConflicts(catalog, rows, directory);
        if (!inTheWay.empty()) throw Error(ErrorKind::FilesInTheWay, {.items = inTheWay});
    }
    ConflictPrompt answers(options.existing, stdin, stderr);
    kiv->SetConflictHandler(&answers);
    withProgress(*kiv, options, [&](ConsoleProgress& progress) {
        answers.beforeAsking = [&] { progress.finish(); };
        kiv->ExtractEntries(catalog, rows, directory);
    });
    kiv->SetConflictHandler(nullptr);
}

void cmdCat(const std::string& archive, const std::string& entry) {
    auto kiv = openArchive(archive, TKiv::Access::Shared);
    CatalogTable& catalog = kiv->Catalog();
    const std::vector<int> rows = resolveEntries(CatalogTree(catalog, archive), {entry}, archive, true);
    DescriptorSink out(STDOUT_FILENO);
    for (int i : rows) {
        catalog.SetRecordNumber(i + 1);
        kiv->ReadEntry(catalog, out);
    }
    out.flush();
}

void cmdDelete(const std::string& archive, const std::vector<std::string>& entries, const Options& options) {
    auto kiv = openArchive(archive);
    CatalogTable& catalog = kiv->Catalog();
    const CatalogTree tree(catalog, archive);
    const std::vector<int> rows = resolveEntries(tree, entries, archive);
    const std::vector<std::string> deleted = options.verbose ? pathsAtOrBelow(tree, rows) : std::vector<std::string>{};
    // Bookmarks, taken before the first deletion shifts the view.
    const std::vector<Bookmark> targets = bookmarksOf(catalog, rows);
    withProgress(*kiv, options, [&](ConsoleProgress& progress) {
        DeleteJob(*kiv, catalog, targets).Run();
        // Named once the file holds the change; compaction's own reports name what it kept.
        for (const std::string& path : deleted) progress.item(path);
    }, false);
}

void cmdCompact(const std::string& archive, const Options& options) {
    auto kiv = openArchive(archive);
    withProgress(*kiv, options, [&](ConsoleProgress&) { kiv->Compact(); });
}

void cmdTest(const std::string& archive, const Options& options) {
    auto kiv = openArchive(archive, TKiv::Access::Shared);
    CatalogTable& catalog = kiv->Catalog();
    const CatalogTree tree(catalog, archive);
    const FirstPaths paths(catalog, tree);

    const bool terminal = isatty(STDOUT_FILENO);
    TestSummary summary;
    // Attached to the archive, the display is asked after every megabyte decoded: Ctrl+C stops
    // inside a big entry too.
    withProgress(*kiv, options, [&](ConsoleProgress& progress) {
        const auto report = [&](const EntryCheck& check) {
            if (!check.damage) return;
            progress.finish();
            std::printf("%s\n", tr("damaged: %1$s: %2$s",
                                   {forTerminal(paths.label(check.row), terminal),
                                    forTerminal(displayText(TestJob::ReasonText(*check.damage)), terminal)})
                                    .c_str());
        };
        summary = TestJob(*kiv, &progress, report).Run();
        progress.finish();
    }, false);
    std::printf("%s\n", tr("%1$s stored files checked, %2$s damaged",
                           {std::to_string(summary.checked), std::to_string(summary.damaged)})
                           .c_str());
    if (std::fflush(stdout) != 0) throw Error(ErrorKind::WriteError, {.path = "standard output"});
    if (summary.damaged > 0) {
        throw Error(ErrorKind::EntriesDamaged, {.archive = archive, .count = summary.damaged, .total = summary.checked});
    }
}

void cmdInfo(const std::string& archive) {
    auto kiv = openArchive(archive, TKiv::Access::Shared);
    const ArchiveHeader& h = kiv->Header();
    const ArchiveFigures f = ArchiveFigures::Of(*kiv);

    std::printf("archive: %s\n", forTerminal(archive, isatty(STDOUT_FILENO)).c_str());
    std::printf("magic: %s\n", printableMagic(h.Magic).c_str());
    std::printf("catalog offset: %d\n", h.CatalogOffset);
    std::printf("created: %s\n", clock::formatIso(h.Created).c_str());
    std::printf("entries: %lld\n", static_cast<long long>(f.entries()));
    std::printf("folders: %lld\n", static_cast<long long>(f.folders));
    std::printf("files: %lld\n", static_cast<long long>(f.files));
    std::printf("other entries: %lld\n", static_cast<long long>(f.others));
    std::printf("original bytes: %lld\n", static_cast<long long>(f.originalBytes));
    std::printf("data bytes: %lld\n", static_cast<long long>(f.storedBytes));
    std::printf("dead bytes: %lld\n", static_cast<long long>(f.deadBytes));
    std::printf("catalog bytes: %lld\n", static_cast<long long>(f.catalogBytes));
    std::printf("file bytes: %lld\n", static_cast<long long>(f.fileSize));
    std::printf("slots: %lld\n", static_cast<long long>(f.slots));
    std::printf("change-log entries: %lld\n", static_cast<long long>(f.logEntries));
    if (std::fflush(stdout) != 0) throw Error(ErrorKind::WriteError, {.path = "standard output"});
}

}  // namespace oru::cli
