// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The progress and cancel interface between the engine and its front ends.

#include <cstdint>
#include <string>

namespace oru {

// Why adding left an item out (see Progress::skipped).
enum class SkipReason {
    Denied,         // no permission to read the file or list the folder (or to reach it)
    Missing,        // it vanished before it could be read
    BrokenLink,     // a symbolic link that leads nowhere, or round in a loop of links
    ReadError,      // the device reported an error while it was read
    Unlistable,     // a folder whose entries could not be listed
    InUse,          // another program holds it open exclusively
    NotAFile,       // a device, pipe or socket named directly: it has no content to store
    ArchiveItself,  // the archive being added to, or one of its side files, named directly
};

// What a long operation reports to its front end. The engine calls update() after each file
// and at least every megabyte within a file, and checks cancelled() as often; when it says yes
// the operation stops with Cancelled. A file cut short that way leaves nothing behind: adding
// keeps the archive as it was before that file, extracting leaves no part of it on the disk.
class Progress {
public:
    virtual ~Progress() = default;
    struct Info {
        uint64_t itemsDone = 0;
        uint64_t bytesDone = 0;      // source bytes read (add) or content bytes written (extract)
        uint64_t bytesTotal = 0;     // 0 when unknown
        std::string currentName;     // UTF-8
    };
    virtual void update(const Info& info) = 0;
    virtual bool cancelled() { return false; }
    // Adding went on without the item at path (UTF-8), which it could not read; a folder is
    // left out with everything below it.
    virtual void skipped(const std::string& path, SkipReason reason) {
        (void)path;
        (void)reason;
    }
    // An item went under another name than its own (UTF-8 both): adding stored the file or
    // folder at path `from` as the entry named `to`; extracting wrote the file meant for path
    // `from` as path `to` (a file this extraction wrote, or one kept, was there).
    virtual void renamed(const std::string& from, const std::string& to) {
        (void)from;
        (void)to;
    }
};

}  // namespace oru
