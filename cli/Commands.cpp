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

#include "archive/zipUtil.h"
#include "catalog/CatalogTable.h"
#include "cli/CatalogTree.h"
#include "cli/ConflictPrompt.h"
#include "cli/ConsoleProgress.h"
#include "cli/EntrySelection.h"
#include "cli/PathPattern.h"
#include "cli/Sinks.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace oru::cli {

namespace {

// The window's ordering: folders first, then files, each by name. Deleting and compacting
// visit rows in it, so the tool leaves archives exactly as the window would.
constexpr const char* kWindowOrdering = "FileType;FileName";

// Commands that only read open the archive shared: archives the user may only read work, and
// several readers may run at once, but never beside a writer.
std::unique_ptr<TKiv> openArchive(const std::string& path, TKiv::Access access = TKiv::Access::Exclusive) {
    auto kiv = TKiv::OpenExisting(path, access);
    kiv->Catalog().SetOrdering(kWindowOrdering);
    return kiv;
}

bool progressVisible(const Options& options) { return !options.quiet && isatty(STDERR_FILENO); }

// Runs work with a progress display attached to the archive; Ctrl+C stops it between files.
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
        ~Detach() { kiv.SetProgress(nullptr); }
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
    return catalog.HasValueAt(index, "CheckinDate")
               ? clock::formatIso(catalog.DateTimeAt(index, "CheckinDate"))
               : "";
}

// For every row, the path `oru list` shows first for it; a row that no chain of folders reaches
// is named by its parent's name and its own.
std::vector<std::string> fileLabels(const CatalogTable& catalog, const CatalogTree& tree) {
    std::vector<std::string> labels(tree.size());
    tree.walk([&](int i, const std::string& path) {
        if (labels[i].empty()) labels[i] = path;
    });
    for (int i = 0; i < tree.size(); ++i) {
        if (labels[i].empty()) {
            labels[i] = cp950::toUtf8(catalog.TextAt(i, "ParentName")) + "/" +
                        cp950::toUtf8(catalog.TextAt(i, "FileName"));
        }
    }
    return labels;
}

// Decodes the stored file at view index i (the Adler-32 is checked while inflating) and compares
// the content's length with OriginalSize. Returns what is wrong, or "" when the entry is sound;
// decoded receives the bytes it gave.
std::string damageOf(TKiv& kiv, CatalogTable& catalog, int i, int64_t& decoded) {
    const int64_t expected = catalog.IntegerAt(i, "OriginalSize");
    catalog.SetRecordNumber(i + 1);
    CountingSink sink(expected < 0 ? 0 : expected);
    std::string problem;
    try {
        kiv.ReadEntry(catalog, sink);
        if (sink.count() != expected) {
            problem = "decodes to " + std::to_string(sink.count()) + " bytes, recorded size " +
                      std::to_string(expected);
        }
    } catch (const Cancelled&) {
        throw;
    } catch (const Error& e) {
        // One damaged entry must not hide the next: report it and go on.
        problem = e.what();
    }
    decoded = sink.count();
    return problem;
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
        if (realpath(p.c_str(), resolved) == nullptr) throw Error(msg::cannotOpen(path));
        p = resolved;
        if (fs::lastComponent(p).empty()) throw Error("cannot add " + path + ": it has no name to store");
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
    CatalogTree tree(catalog);
    const bool terminal = isatty(STDOUT_FILENO);
    DescriptorSink out(STDOUT_FILENO);
    std::string line;
    tree.walk([&](int i, const std::string& path) {
        const bool folder = tree.isFolder(i);
        line = folder ? "d\t\t\t" : "f\t" + sizeText(catalog, i, "OriginalSize") + "\t" +
                                        sizeText(catalog, i, "StoredSize") + "\t";
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
        for (int i : resolveEntries(CatalogTree(catalog), entries, archive)) {
            catalog.SetRecordNumber(i + 1);
            rows.push_back(*catalog.GetBookmark());
        }
    }
    // Files in the way are never replaced unasked: without -o or -n a terminal is asked per file;
    // with nobody to ask, every one is found before anything is written, and the command fails.
    const bool canAsk = isatty(STDIN_FILENO) && isatty(STDERR_FILENO);
    if (options.existing == Existing::Unasked && !canAsk) {
        const std::vector<std::string> inTheWay = kiv->FindConflicts(catalog, rows, directory);
        if (!inTheWay.empty()) throw Error(conflictsMessage(inTheWay));
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
    const std::vector<int> rows = resolveEntries(CatalogTree(catalog), {entry}, archive, true);
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
    const CatalogTree tree(catalog);
    const std::vector<int> rows = resolveEntries(tree, entries, archive);
    const std::vector<std::string> deleted = options.verbose ? pathsAtOrBelow(tree, rows) : std::vector<std::string>{};
    // Bookmarks, taken before the first deletion shifts the view.
    std::vector<Bookmark> targets;
    for (int i : rows) {
        catalog.SetRecordNumber(i + 1);
        targets.push_back(*catalog.GetBookmark());
    }
    withProgress(*kiv, options, [&](ConsoleProgress& progress) {
        for (const Bookmark& b : targets) {
            // A row named twice, or below a folder deleted before it, is already gone.
            if (!catalog.Data().isCurrent(b.slot)) continue;
            catalog.GotoBookmark(b);
            kiv->DeleteEntry(catalog);
        }
        catalog.MergeChanges();
        kiv->Compact();
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
    const CatalogTree tree(catalog);
    const std::vector<std::string> labels = fileLabels(catalog, tree);

    const bool terminal = isatty(STDOUT_FILENO);
    ConsoleProgress progress(progressVisible(options), false);
    ConsoleProgress::catchInterrupts();
    Progress::Info info;
    int checked = 0, damaged = 0;
    for (int i = 0; i < tree.size(); ++i) {
        if (tree.isFolder(i)) continue;
        if (progress.cancelled()) throw Cancelled();
        int64_t decoded = 0;
        const std::string problem = damageOf(*kiv, catalog, i, decoded);
        ++checked;
        if (!problem.empty()) {
            ++damaged;
            progress.finish();
            std::printf("damaged: %s: %s\n", forTerminal(labels[i], terminal).c_str(),
                        forTerminal(displayText(problem), terminal).c_str());
        }
        info.itemsDone = checked;
        info.bytesDone += static_cast<uint64_t>(decoded);
        info.currentName = labels[i];
        progress.update(info);
    }
    progress.finish();
    std::printf("%d stored files checked, %d damaged\n", checked, damaged);
    if (std::fflush(stdout) != 0) throw Error(msg::kWriteError);
    if (damaged > 0) {
        throw Error(std::to_string(damaged) + " of " + std::to_string(checked) + " stored files are damaged");
    }
}

void cmdInfo(const std::string& archive) {
    auto kiv = openArchive(archive, TKiv::Access::Shared);
    const CatalogTable& catalog = kiv->Catalog();
    const ArchiveHeader& h = kiv->Header();

    int64_t folders = 0, files = 0, original = 0, stored = 0;
    for (int i = 0; i < catalog.ViewSize(); ++i) {
        if (catalog.IntegerAt(i, "FileType") == 0) {
            ++folders;
        } else {
            ++files;
            original += catalog.IntegerAt(i, "OriginalSize");
            stored += catalog.IntegerAt(i, "StoredSize");
        }
    }
    std::error_code ec;
    const auto fileSize = static_cast<int64_t>(std::filesystem::file_size(archive, ec));
    const int64_t dataArea = h.CatalogOffset - kHeaderSize;
    const auto& data = catalog.Data();

    std::printf("archive: %s\n", forTerminal(archive, isatty(STDOUT_FILENO)).c_str());
    std::printf("magic: %s\n", printableMagic(h.Magic).c_str());
    std::printf("catalog offset: %d\n", h.CatalogOffset);
    std::printf("created: %s\n", clock::formatIso(h.Created).c_str());
    std::printf("entries: %lld\n", static_cast<long long>(folders + files));
    std::printf("folders: %lld\n", static_cast<long long>(folders));
    std::printf("files: %lld\n", static_cast<long long>(files));
    std::printf("original bytes: %lld\n", static_cast<long long>(original));
    std::printf("data bytes: %lld\n", static_cast<long long>(stored));
    std::printf("dead bytes: %lld\n", static_cast<long long>(dataArea > stored ? dataArea - stored : 0));
    std::printf("catalog bytes: %lld\n",
                static_cast<long long>(!ec && fileSize > h.CatalogOffset ? fileSize - h.CatalogOffset : 0));
    std::printf("file bytes: %lld\n", static_cast<long long>(ec ? 0 : fileSize));
    std::printf("slots: %zu\n", data.slots.size());
    std::printf("change-log entries: %zu\n", data.log.size());
    if (std::fflush(stdout) != 0) throw Error(msg::kWriteError);
}

}  // namespace oru::cli
