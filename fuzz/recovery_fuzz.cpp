// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the recovery file's reader: the input bytes are the recovery file beside an
// archive made by the engine, as an interrupted add (or anyone able to write the folder) could
// leave it. Opening must recover, ignore or refuse it with a clear error, never crash, and an
// archive that opened once must open again to the same entries.
//
// With ORU_FUZZ_WRITE_SEEDS=DIR the target first writes recovery files made by the engine's own
// journal writer into DIR (fuzz/run-short does this).
#include "archive/AddJournal.h"
#include "fuzz/SideFileFuzz.h"

namespace {

using namespace oru;
using namespace oru::fuzz;

// A recovery file of the sample archive: its header and catalog, then records of rows.
void writeSeeds(const stdfs::path& dir) {
    const std::string& archive = sampleArchive();
    uint8_t header[kHeaderSize];
    std::copy(archive.begin(), archive.begin() + kHeaderSize, header);
    const stdfs::path scratch = base() / "seed.oru";
    writeFile(scratch, archive);
    auto kiv = TKiv::OpenExisting(scratch.string());
    const std::vector<uint8_t> packet = kiv->Catalog().PacketBytes();
    int n = 0;
    for (int rows = 0; rows <= 2; ++rows) {
        const stdfs::path journalPath = base() / "seed.recover";
        {
            AddJournal journal(journalPath.string(), header, packet);
            for (int i = 0; i < rows; ++i) {
                JournalRow row;
                row.type = i == 0 ? schema::kFolder : schema::kFile;
                row.name = "r" + std::to_string(i);
                row.parent = "";
                row.offset = static_cast<int32_t>(archive.size());
                row.storedSize = 8;
                row.originalSize = 3;
                if (i == 1) row.meta = {"r1", "r\xff", 0100644, std::nullopt, 1234567890123456789};
                journal.append(row);
            }
        }
        stdfs::rename(journalPath, dir / ("seed-" + std::to_string(++n)));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    base();
    if (const char* dir = std::getenv("ORU_FUZZ_WRITE_SEEDS")) writeSeeds(dir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const stdfs::path archive = base() / "x.oru";
    writeFile(archive, sampleArchive());
    writeFile(TKiv::RecoveryPathFor(archive.string()), std::string(reinterpret_cast<const char*>(data), size));
    if (openAndReadAll(archive)) {
        const std::string after = readFile(archive);
        check(openAndReadAll(archive), "an archive that opened once does not open again");
        check(readFile(archive) == after, "opening a second time changed the archive");
    }
    std::error_code ec;
    stdfs::remove(TKiv::RecoveryPathFor(archive.string()), ec);
    stdfs::remove(archive, ec);
    return 0;
}
