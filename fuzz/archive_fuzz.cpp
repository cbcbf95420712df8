// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for opening a whole archive and extracting it. The input bytes become an archive
// file; it is opened, ordered as the window and the command-line tool order it, and every
// top-level row is extracted into out/ nested in sentinel/a/b/. Whatever the archive holds,
// nothing may appear or change outside out/: the sentinel folder keeps exactly its own files.
//
// With ORU_FUZZ_WRITE_SEEDS=DIR in the environment the target first writes archives made by the
// engine into DIR, as a seed corpus (fuzz/run-short does this).
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "archive/EntryMeta.h"
#include "archive/zipUtil.h"
#include "catalog/ArchiveSchema.h"
#include "catalog/CatalogTable.h"
#include "platform/Error.h"

namespace {

using namespace oru;
namespace stdfs = std::filesystem;

stdfs::path g_base;  // this process's working folder, made once

void check(bool ok, const std::string& what) {
    if (!ok) {
        std::fprintf(stderr, "archive_fuzz: %s\n", what.c_str());
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

// Every path below root, relative, with "/" after folders.
std::set<std::string> listing(const stdfs::path& root) {
    std::set<std::string> names;
    std::error_code ec;
    for (auto it = stdfs::recursive_directory_iterator(root, ec); !ec && it != stdfs::recursive_directory_iterator();
         it.increment(ec)) {
        // Lexically: a link extracted below root names its own path, not where it points.
        std::string rel = it->path().lexically_relative(root).string();
        if (it->is_directory() && !it->is_symlink()) rel += "/";
        names.insert(rel);
    }
    return names;
}

// --- Seeds ---------------------------------------------------------------------------------------

void writeSeed(const stdfs::path& archive, const stdfs::path& dir, int& n) {
    const std::string bytes = readFile(archive);
    writeFile(dir / ("seed-" + std::to_string(++n)), bytes);
}

void writeSeeds(const stdfs::path& dir) {
    const stdfs::path src = g_base / "seed-src";
    stdfs::create_directories(src / "docs" / "img");
    stdfs::create_directories(src / "中文資料夾");
    writeFile(src / "a.txt", "alpha alpha alpha\n");
    writeFile(src / "empty", "");
    writeFile(src / "docs" / "b.txt", "bravo");
    writeFile(src / "docs" / "img" / "c.bin", std::string("\x00\x01\x02\xff\xfe", 5) + std::string(200, 'c'));
    writeFile(src / "中文資料夾" / "說明.txt", "中文內容");
    const stdfs::path archive = g_base / "seed.oru";
    int n = 0;

    { auto kiv = TKiv::CreateNew(archive.string()); }
    writeSeed(archive, dir, n);  // the 16-byte empty archive

    {
        auto kiv = TKiv::CreateNew(archive.string());
        kiv->AddPath("", (src / "a.txt").string());
        kiv->AddPath("", (src / "empty").string());
    }
    writeSeed(archive, dir, n);  // a few files

    {
        auto kiv = TKiv::CreateNew(archive.string());
        kiv->AddPath("", (src / "docs").string());
        kiv->AddPath("", (src / "a.txt").string());
    }
    writeSeed(archive, dir, n);  // nested folders

    {
        auto kiv = TKiv::CreateNew(archive.string());
        kiv->AddPath("", (src / "中文資料夾").string());
    }
    writeSeed(archive, dir, n);  // Chinese names

    {
        auto kiv = TKiv::CreateNew(archive.string());
        kiv->AddPath("", (src / "docs").string());
        kiv->AddPath("", (src / "a.txt").string());
        kiv->AddPath("", (src / "empty").string());
        CatalogTable& c = kiv->Catalog();
        c.SetOrdering(schema::kListingOrdering);
        for (c.First(); !c.AtEnd(); c.Next()) {
            if (c.GetText(schema::kFileName) == "img") break;
        }
        kiv->DeleteEntry(c);
        kiv->Compact();  // the change log stays in the catalog: nothing merged it
    }
    writeSeed(archive, dir, n);  // after a delete and a compaction, with a change log

    {
        auto kiv = TKiv::OpenExisting(archive.string());
        kiv->Catalog().MergeChanges();
        kiv->Compact();
    }
    writeSeed(archive, dir, n);  // merged and compacted

    {
        // Extension values a hostile writer could choose: a link out of the folder followed by a
        // folder of its name with a file below it, a name climbing out, a device and a set-uid
        // mode; and the sound ones: true names, exact times, a relative link.
        auto kiv = TKiv::CreateNew(archive.string());
        CatalogTable& c = kiv->Catalog();
        entrymeta::addColumns(c);
        kiv->AddPath("", (src / "a.txt").string());
        kiv->AddPath("", (src / "docs").string());
        const struct {
            const char* fileName;
            EntryMeta meta;
        } rows[] = {
            {"a.txt", {.mode = 0120777, .linkTarget = g_base.string(), .modifiedNs = 1}},
            {"docs", {.trueName = "a.txt", .mode = 040700, .modifiedNs = -5}},
            {"b.txt", {.trueName = "../escape", .mode = 0100644}},
            {"img", {.trueName = "한국어", .mode = 040755, .modifiedNs = 4102444800123456789}},
            {"c.bin", {.nameBytes = std::string("\xff\xfe", 2), .mode = 0104755}},
        };
        for (const auto& r : rows) {
            for (c.First(); !c.AtEnd() && c.GetText(schema::kFileName) != r.fileName; c.Next()) {
            }
            check(!c.AtEnd(), std::string("seed row missing: ") + r.fileName);
            c.Edit();
            entrymeta::write(c, r.meta);
            c.Post();
        }
        c.Append();
        c.SetText(schema::kFileName, "dev");
        c.SetText(schema::kParentName, "");
        c.SetInteger(schema::kFileType, schema::kFile);
        entrymeta::write(c, EntryMeta{.mode = 020666});
        c.Post();
        kiv->SaveCatalog();
    }
    writeSeed(archive, dir, n);  // extension columns with hostile values

    {
        // The rows above hold the extension values (a default add); this one holds none.
        auto kiv = TKiv::CreateNew(archive.string());
        kiv->SetPlain(true);
        kiv->AddPath("", (src / "docs").string());
    }
    writeSeed(archive, dir, n);  // plain: the eight columns only

    stdfs::create_symlink("../a.txt", src / "docs" / "up");
    stdfs::create_symlink("/etc/hostname", src / "docs" / "absolute");
    writeFile(src / "docs" / "raw\xff name ", "name bytes that are not UTF-8");
    stdfs::permissions(src / "docs" / "b.txt", stdfs::perms::owner_read | stdfs::perms::owner_exec);
    {
        auto kiv = TKiv::CreateNew(archive.string());
        kiv->AddPath("", (src / "docs").string());
    }
    writeSeed(archive, dir, n);  // links, a mode, a name that is not UTF-8

    stdfs::remove_all(src);
    stdfs::remove(archive);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = (stdfs::temp_directory_path() / "oru_archive_fuzz_XXXXXX").string();
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
    const stdfs::path archive = g_base / "x.oru";
    const stdfs::path sentinel = g_base / "sentinel";
    const stdfs::path out = sentinel / "a" / "b" / "out";
    stdfs::create_directories(sentinel / "a" / "b");
    writeFile(sentinel / "keep", "keep");
    writeFile(archive, std::string(reinterpret_cast<const char*>(data), size));
    const std::set<std::string> before = listing(g_base);

    try {
        auto kiv = TKiv::OpenExisting(archive.string());
        CatalogTable& c = kiv->Catalog();
        c.SetOrdering(schema::kListingOrdering);
        c.SetFilterText(CatalogTable::parentFilter(""));
        c.SetFiltered(true);
        for (c.First(); !c.AtEnd(); c.Next()) {
            try {
                kiv->ExtractEntry(c, out.string());
            } catch (const Error&) {
                // a refused or damaged entry: only the refusal is under test; go on with the next
            }
        }
    } catch (const Error&) {
        // a refused archive
    }

    // Nothing appeared outside out/, and nothing outside it changed.
    for (const std::string& name : listing(g_base)) {
        if (before.count(name) == 0) {
            check(name.rfind("sentinel/a/b/out/", 0) == 0, "written outside the extraction folder: " + name);
        }
    }
    for (const std::string& name : before) {
        check(stdfs::exists(stdfs::symlink_status(g_base / name)), "removed outside the extraction folder: " + name);
    }
    check(readFile(sentinel / "keep") == "keep", "the sentinel file changed");
    // Extraction makes files, folders and links only: no device, pipe or socket.
    std::error_code walkError;
    for (auto it = stdfs::recursive_directory_iterator(out, walkError);
         !walkError && it != stdfs::recursive_directory_iterator(); it.increment(walkError)) {
        const stdfs::file_type type = it->symlink_status().type();
        check(type == stdfs::file_type::regular || type == stdfs::file_type::directory ||
                  type == stdfs::file_type::symlink,
              "extraction made a special file: " + it->path().string());
    }
    check(stdfs::file_size(archive) == size, "extraction changed the size of the archive");

    std::error_code ec;
    stdfs::remove_all(out, ec);
    stdfs::remove(archive, ec);
    return 0;
}
