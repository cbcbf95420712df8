#pragma once
// What the parts of TKiv share inside the engine: the state of one running operation, the
// messages several of them raise, and a few limits. Not for front ends.

#include <chrono>
#include <memory>
#include <unordered_map>
#include <string>
#include <vector>

#include "archive/NameIndex.h"
#include "archive/zipUtil.h"
#include "platform/CodePage.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace oru {

class ReadAhead;

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

// The walk and progress state of one public operation.
struct TKiv::Run {
    Progress* sink = nullptr;
    Progress::Info info;
    std::vector<fs::FileId> openFolders;  // adding: the folders on the current path
    bool unsaved = false;                 // rows appended since the catalog was last written
    int64_t rowsAdded = 0;                // rows this AddPath call appended
    std::chrono::steady_clock::time_point lastCheckpoint = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration checkpointCost{};
    bool withoutJournal = false;          // the recovery file could not be made
    ReadAhead* readAhead = nullptr;       // adding: the files of the folder being added, read ahead
    std::vector<fs::FileId> ownFiles;     // adding: the archive and its side files, never added
    bool strayBytes = false;              // adding: bytes of a file left out lie behind the data

    // Tells the front end that adding went on without path.
    void skip(const std::string& path, SkipReason reason) {
        if (sink) sink->skipped(path, reason);
    }
    // Adding: where names go, built at the first item; the rows in the catalog's default order,
    // where a replaced file's row is found; the end of the newest stored bytes of a replaced file
    // (rows appended before it keep their bytes when a failure gives rows up).
    std::unique_ptr<NameIndex> names;
    std::unique_ptr<CatalogTable> rowsInOrder;
    int32_t replacedEnd = 0;
    bool keepBoth = false;  // an item already there is added again under a new name
    // Deleting: how many folder rows bear each folder name (by sort key), counted at the first
    // folder deleted.
    std::unique_ptr<std::unordered_map<std::string, int>> folderRows;

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
