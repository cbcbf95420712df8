// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The commands of the `oru` tool. Each opens the archive, lets the engine do the work and
// reports; failures are raised as Error (exit status 1) and reach main().

#include <string>
#include <vector>

namespace oru::cli {

// What extract does with a file that exists where an entry goes.
enum class Existing {
    Unasked,    // neither -o nor -n: a terminal is asked; otherwise the command fails before writing
    Overwrite,  // -o: the file is replaced
    Skip,       // -n: the file is kept and the entry skipped
};

struct Options {
    bool quiet = false;                     // no progress display
    bool verbose = false;                   // each item added, extracted or deleted on standard output
    std::vector<std::string> excludes;      // add: patterns of items left out
    bool dereference = false;               // add: symbolic links stored as what they point to
    bool plain = false;                     // add: the eight columns only (TKiv::SetPlain)
    Existing existing = Existing::Unasked;  // extract
    bool nul = false;                       // -0: list prints paths, -v prints items, each ended by NUL
    bool json = false;                      // list: one JSON object per entry
};

void cmdNew(const std::string& archive);
void cmdAdd(const std::string& archive, const std::vector<std::string>& paths, const Options& options);
void cmdList(const std::string& archive, const Options& options);
void cmdExtract(const std::string& archive, const std::string& directory,
                const std::vector<std::string>& entries, const Options& options);
void cmdCat(const std::string& archive, const std::string& entry);
void cmdDelete(const std::string& archive, const std::vector<std::string>& entries, const Options& options);
void cmdCompact(const std::string& archive, const Options& options);
// Prints each damaged stored file; fails when there is one.
void cmdTest(const std::string& archive, const Options& options);
void cmdInfo(const std::string& archive);
// Writes the new archive newArchive with every stored file of archive that verifies (SalvageJob),
// prints what came back under a made-up name and what was lost (-v: every file), and fails with
// SalvageIncomplete unless every row of a readable catalog came back under its own path.
void cmdRecover(const std::string& archive, const std::string& newArchive, const Options& options);

// The path as AddPath should get it: trailing "/" removed, and a last component of "." or ".."
// replaced by the directory's real name, so that every added item gets a usable name.
// Fails with a clear message for a path that has no name ("/").
std::string addablePath(const std::string& path);

}  // namespace oru::cli
