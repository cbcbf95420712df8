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
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "archive/ConflictHandler.h"
#include "platform/Directory.h"
#include "platform/Error.h"
#include "platform/Stream.h"
#include "platform/WorkerPool.h"

namespace oru {

// What an extracted item gets beyond its content; either may be missing (rows of other writers).
struct ItemMeta {
    std::optional<uint32_t> permissions;  // the bits to set (07777), already checked: see permissionsFor
    std::optional<int64_t> modifiedNs;    // modification time, ns since 1970 UTC

    bool empty() const { return !permissions && !modifiedNs; }
};

class ExtractTarget {
public:
    // The permission bits an item stored with mode gets: for root all of them, as stored; for
    // anyone else without set-uid, set-gid and sticky bits, and less the bits umask clears.
    static uint32_t permissionsFor(uint32_t mode, uint32_t umask, bool root);
    // permissionsFor with this process's umask and user.
    static uint32_t permissionsFor(uint32_t mode);
    // Tests: extraction acts as root (true), as another user (false), or as the process is
    // (nullopt); and file systems refuse permissions, times and links as asked.
    static void setRootForTesting(std::optional<bool> root);
    struct Refusals {
        bool modes = false;
        bool times = false;
        bool links = false;
    };
    static void setRefusalsForTesting(Refusals refusals);

    // destination: the chosen directory (links to it are followed; it is made when missing unless
    // lookOnly). lookOnly: nothing is written or made, files in the way are only collected
    // (conflicts()). handler: nullptr replaces existing files. archive names the archive in
    // messages. Fails with "Unable to create directory" when destination is no directory.
    ExtractTarget(const std::string& destination, const std::string& archive, ConflictHandler* handler, bool lookOnly);

    // Enters the folder name (a disk name) below the current level, made when missing. A link,
    // or anything but a directory, there fails the entry (failed()) and everything below it is
    // passed over quietly until the matching leave(). meta is given to the folder once
    // everything below it is written (at the latest by finish()), so that writing its contents
    // neither changes its time nor needs the permissions it may lack.
    void enter(const std::string& name, const ItemMeta& meta = {});
    void leave();

    // Writes the file name in the current level: write fills the stream given, which then becomes
    // the file under the name chosen for it; when write fails, nothing is left on the disk.
    // entry identifies the catalog row: the same row met again at the same place (through
    // folders of one name) is there already and not written twice. Returns the path written, or
    // "" when nothing was (skipped, looked at only, or failed: the failure is recorded).
    // Cancelled passes through.
    // meta is given to the file before it gets its name.
    std::string writeFile(const std::string& name, uint64_t entry, const std::function<void(Stream&)>& write,
                          const ItemMeta& meta = {});

    // The work that writes one file's content, made by writeFileBehind's prepare: it holds all
    // it needs (no catalog, no archive file, no progress) and may run on a worker thread.
    using ContentWriter = std::function<void(Stream&)>;
    // As writeFile, but the file is written by a worker thread when there is one, while the
    // caller goes on: prepare runs here once the file's name is chosen (a failure it throws is
    // the entry's) and gives the work. Returns the path the file gets; a failure of the work is
    // recorded when its result is taken back: at a later call, at a writeFile (which waits for
    // every file still being written, so that failures stay in order) or at finish().
    std::string writeFileBehind(const std::string& name, uint64_t entry, const std::function<ContentWriter()>& prepare,
                                const ItemMeta& meta = {});

    // Makes name in the current level a symbolic link to linkTarget, chosen as writeFile
    // chooses, with meta's time. Nothing is ever written through it: a later folder of that name
    // fails (LinkInTheWay), a later file of that name gets a name of its own. Where the file
    // system makes no links, asFile writes a file there instead (LinksNotKept at the end).
    // Returns the path made, or "" as writeFile.
    std::string writeLink(const std::string& name, uint64_t entry, const std::string& linkTarget, const ItemMeta& meta,
                          const std::function<void(Stream&)>& asFile);

    // Records that the entry name (UTF-8, as the catalog gives it) in the current level could
    // not be extracted, for the reason error gives, and tells the handler.
    void failed(const std::string& name, const Error& error);

    // Waits for the files still being written and gives the folders their meta; tells the
    // handler, once per kind, what the file system would not keep (ModesNotKept, TimesNotKept,
    // LinksNotKept, see notices()); then fails with EntriesFailed, listing the entries that could
    // not be extracted, when there is one.
    void finish();

    // After finish(): the texts told to the handler's notice().
    const std::vector<std::string>& notices() const { return notices_; }

    // lookOnly: the paths of the files in the way, in the order met, each once.
    const std::vector<std::string>& conflicts() const { return conflicts_; }

private:
    struct Level {
        // Shared with the files being written in it, which may outlive the level.
        std::shared_ptr<const fs::Directory> dir;
        std::string label;   // path below destination, "" for destination itself
        bool broken = false; // the level could not be entered; nothing below it is written
        std::string id;      // the directory's device and inode, "" when it is absent
        ItemMeta meta;       // given to the directory once everything below it is written
    };
    // How many items the file system refused one kind of meta for, and the first of them.
    struct Kept {
        uint64_t count = 0;
        std::string first;  // path of the first item
    };
    static Level makeLevel(fs::Directory dir, std::string label, bool broken);
    // Counts the refusals of one item at path (bits: mode 1, time 2, link 4).
    void refused(unsigned refusals, const std::string& path);
    // Gives the folders left so far their meta.
    void applyFolderMeta();
    Level& level() { return levels_.back(); }
    std::string labelOf(const std::string& name) const;
    // The name under which the file name of the current level is written, "" to skip it;
    // replace says whether an existing file at that name is to be replaced.
    std::string chooseName(const std::string& name, uint64_t entry, bool& replace);
    // Writes the file under the name chosen (see chooseName) in the current level.
    std::string writeChosen(const std::string& chosen, bool replace, uint64_t entry,
                            const std::function<void(Stream&)>& write, const ItemMeta& meta);
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
    std::unique_ptr<OrderedJobs<unsigned>> behind_;  // each file's Refused bits
    std::deque<std::string> behindLabels_;
    std::deque<std::string> behindPaths_;
    // Folders left whose meta waits for the files still being written in them.
    std::vector<std::pair<std::shared_ptr<const fs::Directory>, ItemMeta>> folderMeta_;
    Kept modes_, times_, links_;  // what the file system would not keep
    std::vector<std::string> notices_;
    size_t maxBehind_ = 0;
};

}  // namespace oru
