// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where one extraction writes: the chosen directory and the levels below it, each opened
// without following a symbolic link, the choice of each file's name, and the entries that
// failed. Inside the engine only.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "archive/ConflictHandler.h"
#include "platform/Directory.h"
#include "platform/Error.h"
#include "platform/Stream.h"
#include "platform/WorkerPool.h"

namespace oru {

class ExtractTarget {
public:
    // destination: the chosen directory (links to it are followed; it is made when missing unless
    // lookOnly). lookOnly: nothing is written or made, files in the way are only collected
    // (conflicts()). handler: nullptr replaces existing files. archive names the archive in
    // messages. Fails with "Unable to create directory" when destination is no directory.
    ExtractTarget(const std::string& destination, const std::string& archive, ConflictHandler* handler, bool lookOnly);

    // Enters the folder name (a disk name) below the current level, made when missing. A link,
    // or anything but a directory, there fails the entry (failed()) and everything below it is
    // passed over quietly until the matching leave().
    void enter(const std::string& name);
    void leave();

    // Writes the file name in the current level: write fills the stream given, which then becomes
    // the file under the name chosen for it; when write fails, nothing is left on the disk.
    // entry identifies the catalog row: the same row met again at the same place (through
    // folders of one name) is there already and not written twice. Returns the path written, or
    // "" when nothing was (skipped, looked at only, or failed: the failure is recorded).
    // Cancelled passes through.
    std::string writeFile(const std::string& name, uint64_t entry, const std::function<void(Stream&)>& write);

    // The work that writes one file's content, made by writeFileBehind's prepare: it holds all
    // it needs (no catalog, no archive file, no progress) and may run on a worker thread.
    using ContentWriter = std::function<void(Stream&)>;
    // As writeFile, but the file is written by a worker thread when there is one, while the
    // caller goes on: prepare runs here once the file's name is chosen (a failure it throws is
    // the entry's) and gives the work. Returns the path the file gets; a failure of the work is
    // recorded when its result is taken back: at a later call, at a writeFile (which waits for
    // every file still being written, so that failures stay in order) or at finish().
    std::string writeFileBehind(const std::string& name, uint64_t entry, const std::function<ContentWriter()>& prepare);

    // Records that the entry name (UTF-8, as the catalog gives it) in the current level could
    // not be extracted, for the reason error gives, and tells the handler.
    void failed(const std::string& name, const Error& error);

    // Waits for the files still being written, then fails with EntriesFailed, listing the
    // entries that could not be extracted, when there is one.
    void finish();

    // lookOnly: the paths of the files in the way, in the order met, each once.
    const std::vector<std::string>& conflicts() const { return conflicts_; }

private:
    struct Level {
        // Shared with the files being written in it, which may outlive the level.
        std::shared_ptr<const fs::Directory> dir;
        std::string label;   // path below destination, "" for destination itself
        bool broken = false; // the level could not be entered; nothing below it is written
        std::string id;      // the directory's device and inode, "" when it is absent
    };
    static Level makeLevel(fs::Directory dir, std::string label, bool broken);
    Level& level() { return levels_.back(); }
    std::string labelOf(const std::string& name) const;
    // The name under which the file name of the current level is written, "" to skip it;
    // replace says whether an existing file at that name is to be replaced.
    std::string chooseName(const std::string& name, uint64_t entry, bool& replace);
    // Writes the file under the name chosen (see chooseName) in the current level.
    std::string writeChosen(const std::string& chosen, bool replace, uint64_t entry,
                            const std::function<void(Stream&)>& write);
    // Records the failure of the entry shown as label.
    void failedAt(const std::string& label, const Error& error);
    // Takes back the results of files written behind: all of them when wait, else those done.
    void takeWritten(bool wait);

    std::string archive_;
    ConflictHandler* handler_;
    bool lookOnly_;
    std::vector<Level> levels_;
    std::vector<std::string> conflicts_;          // lookOnly: paths of files in the way, each once
    std::set<std::string> conflictSet_;
    std::vector<std::string> failures_;           // messages of entries that failed
    // What this extraction wrote (or, looking only, would write): (directory identity, name) ->
    // the entry written there.
    std::map<std::pair<std::string, std::string>, uint64_t> written_;
    // Files being written by workers (a result per file, its label for a failure), at most a few
    // per worker at a time; none without workers.
    std::unique_ptr<OrderedJobs<bool>> behind_;
    std::deque<std::string> behindLabels_;
    size_t maxBehind_ = 0;
};

}  // namespace oru
