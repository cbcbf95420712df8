// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Archives of a given folder shape for the walk benchmarks, made fast: every file row shares the
// stored bytes of one small file, so that making 20,000 rows takes no compression.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/zipUtil.h"
#include "catalog/ArchiveSchema.h"

namespace oru::bench {

// folders > 0: the top-level folder "root" holds that many folders with filesPerFolder files
// each. folders == 0: "root" holds filesPerFolder files. top: the folders stand at the top level
// instead of inside "root".
inline void makeShapedArchive(const std::string& path, int folders, int filesPerFolder, bool top = false) {
    namespace stdfs = std::filesystem;
    const std::string source = path + ".content";
    std::ofstream(source) << "the content of every file in the archive\n";
    stdfs::remove(path);
    auto kiv = TKiv::CreateNew(path);
    kiv->AddPath("nowhere", source);  // in no folder that any walk reaches
    stdfs::remove(source);
    CatalogTable& c = kiv->Catalog();
    c.First();
    const int32_t offset = c.GetInteger(schema::kOffset), original = c.GetInteger(schema::kOriginalSize),
                  stored = c.GetInteger(schema::kStoredSize);
    const auto append = [&](const std::string& name, const std::string& parent, bool file) {
        c.Append();
        c.SetText(schema::kFileName, name);
        c.SetText(schema::kParentName, parent);
        c.SetInteger(schema::kFileType, file ? schema::kFile : schema::kFolder);
        if (file) {
            c.SetInteger(schema::kOffset, offset);
            c.SetInteger(schema::kOriginalSize, original);
            c.SetInteger(schema::kStoredSize, stored);
        }
        c.SetDateTime(schema::kCheckinDate, 46000.5);
        c.Post();
    };
    if (!top) append("root", "", false);
    const std::string parentOfFolders = top ? "" : "root";
    char name[32];
    if (folders == 0) {
        for (int f = 0; f < filesPerFolder; ++f) {
            std::snprintf(name, sizeof name, "file%05d.txt", f);
            append(name, "root", true);
        }
    }
    for (int d = 0; d < folders; ++d) {
        char folder[32];
        std::snprintf(folder, sizeof folder, "folder%05d", d);
        append(folder, parentOfFolders, false);
        for (int f = 0; f < filesPerFolder; ++f) {
            std::snprintf(name, sizeof name, "file%d.txt", f);
            append(name, folder, true);
        }
    }
    kiv->SaveCatalog();
}

}  // namespace oru::bench
