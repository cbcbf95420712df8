// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Salvage: a new archive holding every stored file of a damaged one that can be verified, the
// damaged archive left untouched. `oru recover` and the window's Repair both run it.
//
// Sources, best first:
// 1. the archive's catalog: each file row whose stored bytes decode to its recorded size with
//    a sound Adler-32; every column of the row travels, extension columns included;
// 2. the recovery file an interrupted add left beside it, when it is this user's and was
//    written for this archive (same magic and creation date): its saved catalog and records;
// 3. a scan of the data area for zlib streams (a valid two-byte header, then the stream inflated
//    and its Adler-32 checked) in the bytes no verified row accounts for; each one found is
//    stored as recovered/<offset>.<ext>, the extension guessed from the content's first bytes.
// The archive is read once, in order, by both cores; hostile bytes cost bounded time and memory.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace oru {

class Progress;

enum class SalvageSource {
    Catalog,       // a row of the archive's catalog
    RecoveryFile,  // a row of the recovery file beside the archive
    Scan,          // a stream found by the scan; its name was made up
};

// A stored file that came back.
struct SalvagedFile {
    std::string path;         // UTF-8: its path in the new archive, "folder/name"
    int64_t offset = 0;       // where its stored bytes began in the damaged archive
    int64_t size = 0;         // content bytes
    SalvageSource source = SalvageSource::Catalog;
};

// A file row whose stored bytes could not be verified, so that nothing of it was kept.
struct LostRow {
    std::string path;         // UTF-8: "parent/name" as the row gives it
    Error reason;             // why (DamagedEntry, SizeMismatch, StoredOutsideData, ...)
    SalvageSource source = SalvageSource::Catalog;
};

struct SalvageReport {
    std::optional<Error> catalogDamage;  // why the archive's own catalog could not be read
    std::optional<Error> headerDamage;   // a damaged magic beside a catalog that could be read
    bool usedRecoveryFile = false;       // rows of the recovery file were among the sources
    std::vector<SalvagedFile> files;     // in the order of their stored bytes
    int folders = 0;                     // folder rows written
    std::vector<LostRow> lost;
    int64_t unaccounted = 0;  // bytes of the data area neither a verified row nor a found stream holds
    int64_t unscanned = 0;    // bytes the scan gave up on (hostile input past its work bound)

    // Every row of a readable catalog came back under its own path, and no name was made up
    // (a damaged magic alone, which the new archive does not keep, still allows this).
    bool complete() const;
};

class SalvageJob {
public:
    // archivePath: the damaged archive, only read (under a shared lock, so no writer changes it
    // meanwhile). newPath: where the new archive goes; it must not exist. progress: told as
    // the work goes on and asked whether to stop (nullptr: none).
    SalvageJob(std::string archivePath, std::string newPath, Progress* progress = nullptr);

    // Writes the new archive and says what came back and what was lost. Fails, leaving no new
    // file, with TargetExists, the damaged archive's NotFound / CannotOpen / InUse, the new
    // file's CannotCreate / WriteError / DiskFull, ArchiveFull when what came back would not fit
    // in one archive, or Cancelled.
    SalvageReport Run();

private:
    std::string archivePath_;
    std::string newPath_;
    Progress* progress_;
};

}  // namespace oru
