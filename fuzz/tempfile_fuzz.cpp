// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the reader of compaction's temporary file: the input bytes are the temporary
// file beside an archive that holds the beginning of a compacted copy (as a compaction cut short
// leaves it). Opening must copy back only a complete archive, otherwise leave the archive as it
// is: afterwards the archive is either unchanged or exactly the temporary file's bytes.
//
// With ORU_FUZZ_WRITE_SEEDS=DIR the target first writes complete archives made by the engine
// into DIR (fuzz/run-short does this).
#include "fuzz/SideFileFuzz.h"

namespace {

using namespace oru;
using namespace oru::fuzz;

void writeSeeds(const stdfs::path& dir) {
    writeFile(dir / "seed-1", sampleArchive());
    writeFile(dir / "seed-2", sampleArchive().substr(0, 16));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    base();
    if (const char* dir = std::getenv("ORU_FUZZ_WRITE_SEEDS")) writeSeeds(dir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string temp(reinterpret_cast<const char*>(data), size);
    const stdfs::path archive = base() / "x.oru";
    // The archive holds the first part of the temporary file (a cut-short copy back), or the
    // sample archive when the input is too short to share a header with it.
    const std::string before = size >= 32 ? temp.substr(0, size / 2) : sampleArchive();
    writeFile(archive, before);
    const std::string tempPath = TKiv::TempPathFor(archive.string());
    writeFile(tempPath, temp);
    openAndReadAll(archive);
    const std::string after = readFile(archive);
    check(after == before || after == temp, "the archive is neither as it was nor the complete copy");
    std::error_code ec;
    stdfs::remove(tempPath, ec);
    stdfs::remove(archive, ec);
    return 0;
}
