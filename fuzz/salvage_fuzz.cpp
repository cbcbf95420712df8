// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for salvage. The input bytes become a damaged archive (and, when the first byte
// says so, a recovery file beside it made of the input's tail); salvage writes a new archive
// from it. Whatever the bytes, salvage must end within libFuzzer's time and memory limits,
// leave the damaged archive and its recovery file as they were, and write an archive that opens
// and tests clean, holding exactly the files its report names.
//
// With ORU_FUZZ_WRITE_SEEDS=DIR in the environment the target first writes archives made by the
// engine, some with their catalog cut or zeroed, into DIR as a seed corpus (fuzz/run-short).
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/SalvageJob.h"
#include "archive/TestJob.h"
#include "archive/zipUtil.h"
#include "platform/Error.h"

namespace {

using namespace oru;
namespace stdfs = std::filesystem;

stdfs::path g_base;  // this process's working folder, made once

void check(bool ok, const std::string& what) {
    if (!ok) {
        std::fprintf(stderr, "salvage_fuzz: %s\n", what.c_str());
        std::abort();
    }
}

void writeFile(const stdfs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    check(out.good(), "cannot write " + path.string());
}

std::string readFile(const stdfs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A seed is the archive with a first byte that asks for no recovery file.
void writeSeeds(const stdfs::path& dir) {
    const stdfs::path src = g_base / "seed-src";
    stdfs::create_directories(src / "docs");
    writeFile(src / "a.txt", "alpha alpha alpha\n");
    writeFile(src / "empty", "");
    writeFile(src / "docs" / "b.png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(300, 'p'));
    const stdfs::path archive = g_base / "seed.oru";
    {
        auto kiv = TKiv::CreateNew(archive.string());
        kiv->AddPath("", src.string());
    }
    const std::string whole = readFile(archive);
    const uint32_t at = static_cast<uint8_t>(whole[4]) | static_cast<uint8_t>(whole[5]) << 8;
    const std::string seeds[] = {
        whole,
        whole.substr(0, at),                                       // cut at the catalog
        whole.substr(0, at + (whole.size() - at) / 2),            // cut in the catalog
        whole.substr(0, at) + std::string(whole.size() - at, 0),  // catalog zeroed
    };
    int n = 0;
    for (const std::string& s : seeds) writeFile(dir / ("seed-" + std::to_string(++n)), std::string(1, '\0') + s);
    stdfs::remove_all(src);
    stdfs::remove(archive);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = (stdfs::temp_directory_path() / "oru_salvage_fuzz_XXXXXX").string();
    check(::mkdtemp(pattern.data()) != nullptr, "cannot make a temporary folder");
    g_base = pattern;
    std::atexit([] {
        std::error_code ec;
        stdfs::remove_all(g_base, ec);
    });
    if (const char* dir = std::getenv("ORU_FUZZ_WRITE_SEEDS")) writeSeeds(dir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const stdfs::path archive = g_base / "x.oru";
    const stdfs::path journal = TKiv::RecoveryPathFor(archive.string());
    const stdfs::path saved = g_base / "saved.oru";
    std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    // First byte odd: its tail (the last first-byte/2 bytes of it, at most) is the recovery file.
    std::string recovery;
    if (data[0] & 1) {
        const size_t n = std::min(bytes.size(), static_cast<size_t>(data[0] >> 1) * 8);
        recovery = bytes.substr(bytes.size() - n);
        bytes.resize(bytes.size() - n);
        writeFile(journal, recovery);
        stdfs::permissions(journal, stdfs::perms::owner_read | stdfs::perms::owner_write);
    }
    writeFile(archive, bytes);

    SalvageReport report;
    try {
        report = SalvageJob(archive.string(), saved.string()).Run();
    } catch (const Error& e) {
        check(e.kind() == ErrorKind::ArchiveFull, std::string("salvage failed: ") + e.what());
        check(!stdfs::exists(saved), "a failed salvage left its new archive");
    }
    check(readFile(archive) == bytes, "salvage changed the damaged archive");
    if (!recovery.empty()) check(readFile(journal) == recovery, "salvage changed the recovery file");

    if (stdfs::exists(saved)) {
        auto kiv = TKiv::OpenExisting(saved.string(), TKiv::Access::Shared);
        const TestSummary test = TestJob(*kiv, nullptr).Run();
        check(test.damaged == 0, "the new archive has damaged files");
        check(test.checked == static_cast<int>(report.files.size()), "the new archive holds other files than reported");
    }
    std::error_code ec;
    stdfs::remove(saved, ec);
    stdfs::remove(journal, ec);
    stdfs::remove(archive, ec);
    return 0;
}
