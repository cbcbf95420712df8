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
#include "archive/EntryMeta.h"
#include "archive/SalvageJob.h"
#include "archive/TestJob.h"
#include "archive/UnreachableRows.h"
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
    progress.separateItemsWithNul(options.nul);
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
        : catalog_(catalog), tree_(tree), seenIn_(static_cast<size_t>(tree.size()), kNone),
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
    std::string name(int row) const { return tree_.nameOf(row); }

    const CatalogTable& catalog_;
    const CatalogTree& tree_;
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

namespace {
// One entry of `oru list --json`: {"path":...,"type":...,"size":...,"stored":...,"added":...}, the
// values the catalog lacks (a folder's sizes) as null. A field the catalog comes to keep (the
// file's mode, its modification time) is one more pair in fields.
// Whether the row at i is a symbolic link stored as one (its mode says so and its target is kept).
bool isLink(const EntryMeta& meta) { return meta.mode && (*meta.mode & S_IFMT) == S_IFLNK && meta.linkTarget; }

// A modification time in nanoseconds since 1970 as "YYYY-MM-DDTHH:MM:SS.nnnnnnnnnZ" (UTC).
std::string utcText(int64_t ns) {
    int64_t seconds = ns / 1000000000, nanos = ns % 1000000000;
    if (nanos < 0) {
        nanos += 1000000000;
        --seconds;
    }
    const time_t t = static_cast<time_t>(seconds);
    struct tm utc {};
    if (::gmtime_r(&t, &utc) == nullptr) return "";
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%09lldZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<long long>(nanos));
    return text;
}

std::string jsonEntry(const CatalogTable& catalog, int i, const std::string& path) {
    const int64_t type = catalog.IntegerAt(i, schema::kFileType);
    const EntryMeta meta = entrymeta::readAt(catalog, i);
    const auto number = [&](const char* field) {
        return catalog.HasValueAt(i, field) ? std::to_string(catalog.IntegerAt(i, field)) : std::string("null");
    };
    const std::string added = dateText(catalog, i);
    const std::string modified = meta.modifiedNs ? utcText(*meta.modifiedNs) : std::string();
    const char* kind = type == schema::kFolder ? "\"folder\""
                       : type != schema::kFile ? "\"other\""
                       : isLink(meta)          ? "\"link\""
                                               : "\"file\"";
    const std::pair<const char*, std::string> fields[] = {
        {"path", jsonString(path)},
        {"type", kind},
        {"size", number(schema::kOriginalSize)},
        {"stored", number(schema::kStoredSize)},
        {"added", added.empty() ? "null" : jsonString(added)},
        {"modified", modified.empty() ? "null" : jsonString(modified)},
        {"mode", meta.mode ? std::to_string(*meta.mode & 07777) : "null"},
        {"target", isLink(meta) ? jsonString(*meta.linkTarget) : "null"},
    };
    std::string line = "{";
    for (const auto& [name, value] : fields) {
        if (line.size() > 1) line += ",";
        line += jsonString(name) + ":" + value;
    }
    return line + "}\n";
}
}  // namespace

void cmdList(const std::string& archive, const Options& options) {
    auto kiv = openArchive(archive, TKiv::Access::Shared);
    const CatalogTable& catalog = kiv->Catalog();
    const CatalogTree tree(catalog, archive);
    DescriptorSink out(STDOUT_FILENO);
    std::string line;
    const auto listRow = [&](int i, const std::string& path) {
        if (options.nul) {
            line = path + '\0';
        } else if (options.json) {
            line = jsonEntry(catalog, i, path);
        } else {
            // Rows of a type other than folder and file are listed as "?", never as files. The
            // path is escaped wherever the listing goes: a name must not make a line of its own.
            const int64_t type = catalog.IntegerAt(i, schema::kFileType);
            const char* file = type != schema::kFile ? "?" : isLink(entrymeta::readAt(catalog, i)) ? "l" : "f";
            line = type == schema::kFolder ? "d\t\t\t"
                                           : std::string(file) + "\t" +
                                                 sizeText(catalog, i, schema::kOriginalSize) + "\t" +
                                                 sizeText(catalog, i, schema::kStoredSize) + "\t";
            line += dateText(catalog, i) + "\t" + escapedName(path) + "\n";
        }
        out.write(line.data(), line.size());
    };
    tree.walk(listRow);
    // Rows no folder reaches follow, under the pseudo-folder: nothing stored is hidden.
    UnreachableRows(catalog, tree).walk(listRow);
    out.flush();
}

void cmdExtract(const std::string& archive, const std::string& directory,
                const std::vector<std::string>& entries, const Options& options) {
    auto kiv = openArchive(archive, TKiv::Access::Shared);
    CatalogTable& catalog = kiv->Catalog();
    // What goes where: the rows named (or the top level) into DIR; without ENTRY arguments also
    // the rows no folder reaches, below DIR/unreachable/ as `oru list` shows them.
    struct Batch {
        std::vector<Bookmark> rows;
        std::string destination;
    };
    std::vector<Batch> batches(1, Batch{{}, directory});
    const CatalogTree tree(catalog, archive);
    if (entries.empty()) {
        const UnreachableRows unreachable(catalog, tree);
        for (const int top : unreachable.tops()) {
            const std::string destination = fs::join(directory, unreachable.folderOf(top));
            if (batches.back().destination != destination) batches.push_back({{}, destination});
            catalog.SetRecordNumber(top + 1);
            batches.back().rows.push_back(*catalog.GetBookmark());
        }
        // Every top-level row, as the window extracts the root folder's listing.
        catalog.SetFilterText(CatalogTable::parentFilter(""));
        catalog.SetFiltered(true);
        for (catalog.First(); !catalog.AtEnd(); catalog.Next()) batches.front().rows.push_back(*catalog.GetBookmark());
        catalog.SetFiltered(false);
    } else {
        for (int i : resolveEntries(tree, entries, archive)) {
            catalog.SetRecordNumber(i + 1);
            batches.front().rows.push_back(*catalog.GetBookmark());
        }
    }
    // Files in the way are never replaced unasked: without -o or -n a terminal is asked per file;
    // with nobody to ask, every one is found before anything is written, and the command fails.
    const bool canAsk = isatty(STDIN_FILENO) && isatty(STDERR_FILENO);
    if (options.existing == Existing::Unasked && !canAsk) {
        std::vector<std::string> inTheWay;
        for (const Batch& batch : batches) {
            const std::vector<std::string> found = kiv->FindConflicts(catalog, batch.rows, batch.destination);
            inTheWay.insert(inTheWay.end(), found.begin(), found.end());
        }
        if (!inTheWay.empty()) throw Error(ErrorKind::FilesInTheWay, {.items = inTheWay});
    }
    ConflictPrompt answers(options.existing, stdin, stderr);
    kiv->SetConflictHandler(&answers);
    withProgress(*kiv, options, [&](ConsoleProgress& progress) {
        answers.beforeAsking = [&] { progress.finish(); };
        // Each batch is written whatever failed in the one before; the failed entries of all of
        // them are named at the end.
        std::vector<std::string> failed;
        for (const Batch& batch : batches) {
            try {
                kiv->ExtractEntries(catalog, batch.rows, batch.destination);
            } catch (const Error& e) {
                if (e.kind() != ErrorKind::EntriesFailed) throw;
                failed.insert(failed.end(), e.values().items.begin(), e.values().items.end());
            }
        }
        if (!failed.empty()) throw Error(ErrorKind::EntriesFailed, {.archive = archive, .items = failed});
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
    const std::vector<int> rows = resolveEntries(tree, entries, archive, false, true);
    // Bookmarks, taken before the first deletion shifts the view.
    DeleteJob job(*kiv, catalog, bookmarksOf(catalog, rows));
    // -v names the rows the job takes (a folder's rows that another folder of its name lists
    // stay), as the listing showed them before.
    std::vector<std::string> deleted;
    if (options.verbose) {
        std::vector<int> doomed;
        for (const Bookmark& b : job.RowsToDelete()) {
            catalog.GotoBookmark(b);
            doomed.push_back(catalog.RecordNumber() - 1);
        }
        deleted = pathsOf(tree, doomed);
    }
    withProgress(*kiv, options, [&](ConsoleProgress& progress) {
        job.Run();
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
                                   {escapedName(paths.label(check.row)),
                                    forTerminal(displayText(TestJob::ReasonText(*check.damage)), terminal)})
                                    .c_str());
        };
        summary = TestJob(*kiv, &progress, report).Run();
        progress.finish();
    }, false);
    // Rows no folder reaches are checked like the others, and named where `oru list` shows them.
    UnreachableRows(catalog, tree).walk([&](int, const std::string& path) {
        std::printf("%s\n", tr("not reachable from the top level: %1$s", {escapedName(path)}).c_str());
    });
    std::printf("%s\n", tr("%1$s stored files checked, %2$s damaged",
                           {std::to_string(summary.checked), std::to_string(summary.damaged)})
                           .c_str());
    if (std::fflush(stdout) != 0) throw Error(ErrorKind::WriteError, {.path = "standard output"});
    if (summary.damaged > 0) {
        throw Error(ErrorKind::EntriesDamaged, {.archive = archive, .count = summary.damaged, .total = summary.checked});
    }
}

void cmdRecover(const std::string& archive, const std::string& newArchive, const Options& options) {
    const bool terminal = isatty(STDOUT_FILENO);
    SalvageReport report;
    {
        ConsoleProgress progress(progressVisible(options), false);
        ConsoleProgress::catchInterrupts();
        report = SalvageJob(archive, newArchive, &progress).Run();
        progress.finish();
    }
    const auto say = [&](const std::string& line) { std::printf("%s\n", forTerminal(line, terminal).c_str()); };
    if (report.headerDamage) say(tr("header damaged: %1$s", {displayText(TestJob::ReasonText(*report.headerDamage))}));
    if (report.catalogDamage) say(tr("catalog unreadable: %1$s", {displayText(TestJob::ReasonText(*report.catalogDamage))}));
    if (report.usedRecoveryFile) say(tr("recovery file used: %1$s", {TKiv::RecoveryPathFor(archive)}));
    int madeUp = 0;
    for (const SalvagedFile& f : report.files) {
        if (f.source == SalvageSource::Scan) {
            ++madeUp;
            say(tr("found: %1$s (%2$s bytes, stored at offset %3$s)", {f.path, std::to_string(f.size), std::to_string(f.offset)}));
        } else if (options.verbose) {
            say(tr("kept: %1$s", {f.path}));
        }
    }
    for (const LostRow& row : report.lost) say(tr("lost: %1$s: %2$s", {row.path, displayText(TestJob::ReasonText(row.reason))}));
    if (report.unscanned > 0) say(tr("not scanned: %1$s bytes (too costly to decode)", {std::to_string(report.unscanned)}));
    say(tr("%1$s stored files came back (%2$s under made-up names), %3$s lost, %4$s bytes unaccounted for; "
           "written to %5$s",
           {std::to_string(report.files.size()), std::to_string(madeUp), std::to_string(report.lost.size()),
            std::to_string(report.unaccounted), newArchive}));
    if (std::fflush(stdout) != 0) throw Error(ErrorKind::WriteError, {.path = "standard output"});
    if (!report.complete()) {
        throw Error(ErrorKind::SalvageIncomplete, {.archive = archive, .path = newArchive,
                                                   .count = static_cast<int64_t>(report.lost.size()), .total = madeUp});
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
