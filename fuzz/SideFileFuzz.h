// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the two side-file fuzz targets share: a working folder, file helpers, an archive made by
// the engine as the one the side file lies beside, and a check that aborts with a message.

#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/zipUtil.h"
#include "catalog/ArchiveSchema.h"
#include "catalog/CatalogTable.h"
#include "platform/Error.h"

namespace oru::fuzz {

namespace stdfs = std::filesystem;

inline void check(bool ok, const std::string& what) {
    if (!ok) {
        std::fprintf(stderr, "side file fuzz: %s\n", what.c_str());
        std::abort();
    }
}

inline void writeFile(const stdfs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    check(out.good(), "cannot write " + path.string());
    // Side files are used only when nobody else may write them.
    ::chmod(path.c_str(), 0600);
}

inline std::string readFile(const stdfs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// This process's working folder, made once and removed at exit.
inline const stdfs::path& base() {
    static const stdfs::path dir = [] {
        std::string pattern = (stdfs::temp_directory_path() / "oru_side_fuzz_XXXXXX").string();
        check(::mkdtemp(pattern.data()) != nullptr, "cannot make a temporary folder");
        std::atexit([] {
            std::error_code ec;
            stdfs::remove_all(base(), ec);
        });
        return stdfs::path(pattern);
    }();
    return dir;
}

// The bytes of an archive holding a file and a folder with a file, made by the engine.
inline const std::string& sampleArchive() {
    static const std::string bytes = [] {
        const stdfs::path src = base() / "sample-src";
        stdfs::create_directories(src / "docs");
        writeFile(src / "a.txt", "alpha alpha alpha\n");
        writeFile(src / "docs" / "b.txt", std::string(3000, 'b'));
        const stdfs::path archive = base() / "sample.oru";
        {
            auto kiv = TKiv::CreateNew(archive.string());
            kiv->AddPath("", (src / "a.txt").string());
            kiv->AddPath("", (src / "docs").string());
        }
        std::string result = readFile(archive);
        stdfs::remove_all(src);
        stdfs::remove(archive);
        return result;
    }();
    return bytes;
}

// Opens archive as the window and the tool do, and reads every file row; a refused archive or
// entry is a clear error, never a crash. Returns whether the archive opened.
inline bool openAndReadAll(const stdfs::path& archive) {
    try {
        auto kiv = TKiv::OpenExisting(archive.string());
        CatalogTable& c = kiv->Catalog();
        c.SetOrdering(schema::kListingOrdering);
        for (c.First(); !c.AtEnd(); c.Next()) {
            if (c.GetInteger(schema::kFileType) != schema::kFile) continue;
            try {
                MemoryStream content;
                kiv->ReadEntry(c, content);
            } catch (const Error&) {
            }
        }
        return true;
    } catch (const Error&) {
        return false;
    }
}

}  // namespace oru::fuzz
