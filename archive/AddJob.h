// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Adding a file, or a folder with everything below it, to an archive: what TKiv::AddPath runs.
// Inside the engine only.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/EntryMeta.h"
#include "archive/NameIndex.h"
#include "archive/Operation.h"
#include "archive/zipUtil.h"
#include "platform/FileSystem.h"

namespace oru {

class AddJournal;
class ReadAhead;

class AddJob {
public:
    // See TKiv::AddPath; the archive's progress sink and add filter are used.
    AddJob(TKiv& archive, std::string parentName, std::string path, TKiv::AddMode mode);
    ~AddJob();
    AddJob(const AddJob&) = delete;
    AddJob& operator=(const AddJob&) = delete;
    void Run();

private:
    void addPathAt(const std::string& parentName, const std::string& path);
    void addFolder(const std::string& parentName, const std::string& path, const fs::PathInfo& info);
    std::vector<fs::FileId> ownFiles() const;
    std::unique_ptr<FileStream> openSource(const std::string& path);
    // A regular file, or (info.link) a symbolic link stored as a file whose content is its target.
    void addFile(const std::string& parentName, const std::string& path, const fs::PathInfo& info);
    // Where the item goes; its true name (UTF-8, empty in plain mode) is set in trueName.
    NameIndex::Place placeOf(const std::string& parentName, const std::string& path, int32_t type, std::string& trueName);
    // The extension values of the item stored under catalogName; all empty in plain mode.
    EntryMeta metaOf(const std::string& catalogName, const std::string& trueName, const std::string& path,
                     const fs::PathInfo& info) const;
    void reportStoredName(const std::string& path, const std::string& storedName, const EntryMeta& meta);
    void checkRoomFor(const std::string& path, int64_t storedSize) const;
    void beginJournal();
    void checkpoint();
    void endAdd();
    void endAddAfterFailure() noexcept;
    bool dropLastAddedRow() noexcept;
    void closeJournal() noexcept;

    TKiv& kiv_;
    const std::string parent_;  // CP950
    const std::string source_;
    const bool plain_;        // rows without extension values, links followed
    const bool followLinks_;  // links are stored as what they point to
    JobProgress progress_;
    bool keepBoth_ = false;               // an item already there is added again under a new name
    std::vector<fs::FileId> openFolders_; // the folders on the current path
    bool unsaved_ = false;                // rows appended since the catalog was last written
    int64_t rowsAdded_ = 0;               // rows this job appended
    std::chrono::steady_clock::time_point lastCheckpoint_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration checkpointCost_{};
    bool withoutJournal_ = false;         // the recovery file could not be made
    ReadAhead* readAhead_ = nullptr;      // the files of the folder being added, read ahead
    std::vector<fs::FileId> ownFiles_;    // the archive and its side files, never added
    bool strayBytes_ = false;             // bytes of a file left out lie behind the data
    // Where names go, built at the first item; the rows in the catalog's default order, where a
    // replaced file's row is found; the end of the newest stored bytes of a replaced file (rows
    // appended before it keep their bytes when a failure gives rows up).
    std::unique_ptr<NameIndex> names_;
    std::unique_ptr<CatalogTable> rowsInOrder_;
    int32_t replacedEnd_ = 0;
    std::unique_ptr<AddJournal> journal_;   // the recovery file, while the job runs
    fs::FileId journalId_;                  // its device and inode
    std::unique_ptr<uint8_t[]> storedBuffer_;  // holds a file's stored bytes on their way in
};

}  // namespace oru
