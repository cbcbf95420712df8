// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the archive object and its jobs share inside the engine: a job's progress reporting, the
// name errors give an entry, and a few helpers. Not for front ends.

#include <memory>
#include <string>
#include <vector>

#include "archive/NameIndex.h"
#include "archive/zipUtil.h"
#include "platform/CodePage.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace oru {

// The name an error gives the cursor's current row (UTF-8): "folder/name", or the name of a
// top-level row.
inline std::string entryLabel(CatalogTable& cursor) {
    std::string name = cp950::toUtf8(cursor.GetText(schema::kFileName));
    const std::string parent = cursor.GetText(schema::kParentName);
    return parent.empty() ? name : cp950::toUtf8(parent) + "/" + name;
}

// Flushes stream to the disk when it is a file.
inline void syncIfFile(Stream& stream) {
    if (auto* file = dynamic_cast<FileStream*>(&stream)) file->sync();
}

// What a job reports to the front end's progress sink (none: nullptr), and the figures so far.
struct JobProgress {
    Progress* sink = nullptr;
    Progress::Info info;

    // Tells the front end that adding went on without path.
    void skip(const std::string& path, SkipReason reason) {
        if (sink) sink->skipped(path, reason);
    }
    void report() {
        if (sink) sink->update(info);
    }
    void reportRenamed(const std::string& from, const std::string& to) {
        if (sink) sink->renamed(from, to);
    }
    void checkCancelled() {
        if (sink && sink->cancelled()) throw Cancelled();
    }
};

}  // namespace oru
