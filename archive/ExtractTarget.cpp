// SPDX-License-Identifier: GPL-3.0-or-later
// Where one extraction writes; see ExtractTarget.h. A new file is made without a name (or, where
// the file system cannot, under a hidden name of its own) and gets its name only once it is
// complete, so a damaged entry (or a cancelled one) leaves nothing; an existing file is replaced
// by a rename, only by a complete one, and the rename replaces a link itself, never its target.
// Small files are written by worker threads while the walk goes on: creating files is most of
// the work of extracting many small ones, and a second core halves it.
#include "archive/ExtractTarget.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fstream>

#include "archive/EntryNames.h"
#include "archive/ErrorReason.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace oru {

namespace {

// Removes the hidden file unless it was renamed into place.
class TemporaryName {
public:
    explicit TemporaryName(const fs::Directory& dir) : dir_(dir) {}
    ~TemporaryName() {
        if (!name.empty()) dir_.remove(name);
    }
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;
    std::string name;

private:
    const fs::Directory& dir_;
};

std::string identity(const fs::Directory& dir) {
    if (!dir.present()) return "";
    const fs::FileId id = dir.id();
    return std::to_string(id.dev) + ":" + std::to_string(id.ino);
}

std::atomic<int> rootForTesting{-1};  // -1: as the process is
std::atomic<bool> refuseModes{false}, refuseTimes{false}, refuseLinks{false};

bool actingAsRoot() {
    const int forced = rootForTesting;
    return forced >= 0 ? forced != 0 : ::geteuid() == 0;
}

// This process's umask, read without changing it (umask() would, for every thread meanwhile).
uint32_t processUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        unsigned mask = 0;
        if (std::sscanf(line.c_str(), "Umask: %o", &mask) == 1) return mask;
    }
    return 022;
}

// What the file system would not take of one item's meta.
enum Refused : unsigned { kModeRefused = 1, kTimeRefused = 2, kLinkRefused = 4 };

// Gives the open file its meta: one fchmod and one futimens at most. Returns the Refused bits
// of what the file system would not take.
unsigned applyToFile(const FileStream& file, const ItemMeta& meta) {
    unsigned refusals = 0;
    if (meta.permissions && (refuseModes || fs::Directory::setFileMode(file, *meta.permissions) != 0)) {
        refusals |= kModeRefused;
    }
    if (meta.modifiedNs && (refuseTimes || fs::Directory::setFileTime(file, *meta.modifiedNs) != 0)) {
        refusals |= kTimeRefused;
    }
    return refusals;
}

// Writes a file of the name, which nothing had when it was chosen, in dir: write fills it, meta
// is given to it, and only a complete file gets the name. Returns the Refused bits of its meta.
// Fails with the error of write or "Cannot create file %s" (when the name was taken meanwhile,
// among others).
unsigned writeNewFile(const fs::Directory& dir, const std::string& name, const std::function<void(Stream&)>& write,
                      const ItemMeta& meta) {
    unsigned refusals = 0;
    if (std::unique_ptr<FileStream> file = dir.createUnnamed(name)) {
        write(*file);
        refusals = applyToFile(*file, meta);
        if (!dir.nameFile(*file, name)) throw Error(ErrorKind::CannotCreate, {.path = dir.pathOf(name)});
        return refusals;
    }
    TemporaryName temp(dir);
    {
        const std::unique_ptr<FileStream> file = dir.createTemporary(name, temp.name);
        write(*file);
        refusals = applyToFile(*file, meta);
    }
    if (!dir.rename(temp.name, name, false)) throw Error(ErrorKind::CannotCreate, {.path = dir.pathOf(name)});
    temp.name.clear();
    return refusals;
}

// Folders whose meta may wait at a time: each holds its directory open.
constexpr size_t kFoldersWaiting = 64;

// Files written behind the walk at a time, per worker: enough to keep the workers busy while the
// walk reads the next entries, few enough to bound the memory their stored bytes take.
constexpr size_t kBehindPerWorker = 8;

}  // namespace

uint32_t ExtractTarget::permissionsFor(uint32_t mode, uint32_t umask, bool root) {
    if (root) return mode & 07777;
    return mode & 0777 & ~umask;
}

uint32_t ExtractTarget::permissionsFor(uint32_t mode) {
    static const uint32_t umask = processUmask();
    return permissionsFor(mode, umask, actingAsRoot());
}

void ExtractTarget::setRootForTesting(std::optional<bool> root) { rootForTesting = root ? int{*root} : -1; }

void ExtractTarget::setRefusalsForTesting(Refusals refusals) {
    refuseModes = refusals.modes;
    refuseTimes = refusals.times;
    refuseLinks = refusals.links;
}

ExtractTarget::ExtractTarget(const std::string& destination, const std::string& archive, ConflictHandler* handler,
                             bool lookOnly)
    : archive_(archive), handler_(handler), lookOnly_(lookOnly) {
    levels_.push_back(makeLevel(fs::Directory::open(destination, !lookOnly), "", false));
    if (!lookOnly && WorkerPool::cores() > 1 && !WorkerPool::onWorkerThread()) {
        WorkerPool& pool = WorkerPool::shared();
        behind_ = std::make_unique<OrderedJobs<unsigned>>(&pool);
        maxBehind_ = kBehindPerWorker * pool.size();
    }
}

ExtractTarget::Level ExtractTarget::makeLevel(fs::Directory dir, std::string label, bool broken) {
    Level level;
    level.id = identity(dir);
    level.dir = std::make_shared<const fs::Directory>(std::move(dir));
    level.label = std::move(label);
    level.broken = broken;
    return level;
}

std::string ExtractTarget::labelOf(const std::string& name) const {
    return levels_.back().label.empty() ? name : levels_.back().label + "/" + name;
}

void ExtractTarget::enter(const std::string& name, const ItemMeta& meta) {
    fs::Directory dir;
    bool broken = level().broken;
    if (!broken) {
        try {
            dir = level().dir->child(name, !lookOnly_);
        } catch (const Cancelled&) {
            throw;
        } catch (const Error& e) {
            if (!lookOnly_) failed(name, e);
            broken = true;
        }
    }
    levels_.push_back(makeLevel(std::move(dir), labelOf(name), broken));
    level().meta = meta;
}

void ExtractTarget::leave() {
    if (levels_.size() <= 1) return;
    Level& left = level();
    if (!lookOnly_ && !left.broken && left.dir->present() && !left.meta.empty()) {
        folderMeta_.emplace_back(left.dir, left.meta);
        if (folderMeta_.size() >= kFoldersWaiting) applyFolderMeta();
    }
    levels_.pop_back();
}

void ExtractTarget::applyFolderMeta() {
    // Files still being written would change a folder's time, and one of them could need the
    // write permission the folder's own bits take away.
    takeWritten(true);
    // In the order left: every folder after the folders below it.
    for (const auto& [dir, meta] : folderMeta_) {
        unsigned refusals = 0;
        if (meta.permissions && (refuseModes || dir->setOwnMode(*meta.permissions) != 0)) refusals |= kModeRefused;
        if (meta.modifiedNs && (refuseTimes || dir->setOwnTime(*meta.modifiedNs) != 0)) refusals |= kTimeRefused;
        refused(refusals, dir->path());
    }
    folderMeta_.clear();
}

void ExtractTarget::refused(unsigned refusals, const std::string& path) {
    for (auto [bit, kept] : {std::pair{kModeRefused, &modes_}, {kTimeRefused, &times_}, {kLinkRefused, &links_}}) {
        if (!(refusals & bit)) continue;
        if (kept->count++ == 0) kept->first = path;
    }
}

std::string ExtractTarget::chooseName(const std::string& name, uint64_t entry, bool& replace) {
    const fs::Directory& dir = *level().dir;
    const std::string& id = level().id;
    replace = false;
    // What this extraction wrote itself is never replaced: a later entry of the same name gets
    // a name of its own; the same entry once more is there already.
    const auto own = written_.find({id, name});
    if (own != written_.end() && own->second == entry) return "";
    const bool ownFile = own != written_.end();
    ConflictChoice choice = ConflictChoice::KeepBoth;
    if (!ownFile) {
        switch (dir.kind(name)) {
            case fs::EntryKind::None:
                if (lookOnly_) written_[{id, name}] = entry;
                return name;
            case fs::EntryKind::Directory: throw Error(ErrorKind::CannotCreate, {.path = dir.pathOf(name)});
            default: break;
        }
        if (lookOnly_) {
            std::string path = dir.pathOf(name);
            if (conflictSet_.insert(path).second) conflicts_.push_back(std::move(path));
            return "";
        }
        choice = handler_ ? handler_->choose(dir.pathOf(name)) : ConflictChoice::Overwrite;
    }
    switch (choice) {
        case ConflictChoice::Overwrite: replace = true; return name;
        case ConflictChoice::Skip: return "";
        case ConflictChoice::Cancel: throw Cancelled();
        case ConflictChoice::KeepBoth: break;
    }
    for (unsigned n = 1;; ++n) {
        std::string marked = withMarker(name, n);
        // A name given to a file still being written is taken too.
        if (dir.kind(marked) == fs::EntryKind::None && written_.count({id, marked}) == 0) return marked;
    }
}

std::string ExtractTarget::writeFile(const std::string& name, uint64_t entry, const std::function<void(Stream&)>& write,
                                     const ItemMeta& meta) {
    if (level().broken) return "";
    // Failures are recorded in the order of the entries.
    takeWritten(true);
    try {
        bool replace = false;
        const std::string chosen = chooseName(name, entry, replace);
        if (chosen.empty() || lookOnly_) return "";
        return writeChosen(chosen, replace, entry, write, meta);
    } catch (const Cancelled&) {
        throw;
    } catch (const Error& e) {
        failed(name, e);
        return "";
    }
}

std::string ExtractTarget::writeChosen(const std::string& chosen, bool replace, uint64_t entry,
                                       const std::function<void(Stream&)>& write, const ItemMeta& meta) {
    const fs::Directory& dir = *level().dir;
    unsigned refusals = 0;
    if (!replace) {
        refusals = writeNewFile(dir, chosen, write, meta);
    } else {
        // A file being replaced must be one this user may write and nobody holds open.
        std::unique_ptr<FileStream> existing;
        if (dir.kind(chosen) == fs::EntryKind::File) existing = dir.lockExisting(chosen);
        TemporaryName temp(dir);
        {
            const std::unique_ptr<FileStream> file = dir.createTemporary(chosen, temp.name);
            write(*file);
            refusals = applyToFile(*file, meta);
        }
        if (!dir.rename(temp.name, chosen, true)) throw Error(ErrorKind::CannotCreate, {.path = dir.pathOf(chosen)});
        temp.name.clear();
    }
    written_[{level().id, chosen}] = entry;
    refused(refusals, dir.pathOf(chosen));
    return dir.pathOf(chosen);
}

std::string ExtractTarget::writeLink(const std::string& name, uint64_t entry, const std::string& linkTarget,
                                     const ItemMeta& meta, const std::function<void(Stream&)>& asFile) {
    if (level().broken) return "";
    takeWritten(true);
    try {
        bool replace = false;
        const std::string chosen = chooseName(name, entry, replace);
        if (chosen.empty() || lookOnly_) return "";
        const fs::Directory& dir = *level().dir;
        // A link replacing a file is made under a name of its own first, then renamed over it:
        // the rename replaces the file (or a link itself), never a link's target.
        std::string made = chosen;
        if (replace) {
            static std::atomic<unsigned> counter{0};
            made = ".oru-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".link";
        }
        const int error = refuseLinks ? EPERM : dir.makeLink(linkTarget, made);
        if (error == EPERM || error == EOPNOTSUPP || error == ENOSYS) {
            // A file system without links (vfat, exFAT): the file holding the target comes out.
            const std::string path = writeChosen(chosen, replace, entry, asFile, ItemMeta{.modifiedNs = meta.modifiedNs});
            refused(kLinkRefused, path);
            return path;
        }
        if (error != 0) throw Error(ErrorKind::CannotCreate, {.path = dir.pathOf(chosen), .errnum = error});
        if (replace && !dir.rename(made, chosen, true)) {
            dir.remove(made);
            throw Error(ErrorKind::CannotCreate, {.path = dir.pathOf(chosen)});
        }
        written_[{level().id, chosen}] = entry;
        if (meta.modifiedNs && (refuseTimes || dir.setTimeOf(chosen, *meta.modifiedNs) != 0)) {
            refused(kTimeRefused, dir.pathOf(chosen));
        }
        return dir.pathOf(chosen);
    } catch (const Cancelled&) {
        throw;
    } catch (const Error& e) {
        failed(name, e);
        return "";
    }
}

std::string ExtractTarget::writeFileBehind(const std::string& name, uint64_t entry,
                                           const std::function<ContentWriter()>& prepare, const ItemMeta& meta) {
    if (!behind_ || level().broken || lookOnly_) {
        return writeFile(name, entry, [&](Stream& file) { prepare()(file); }, meta);
    }
    takeWritten(false);
    const std::shared_ptr<const fs::Directory> dir = level().dir;
    try {
        bool replace = false;
        const std::string chosen = chooseName(name, entry, replace);
        if (chosen.empty()) return "";
        // A file replacing another is written here, after the files before it.
        if (replace) {
            takeWritten(true);
            return writeChosen(chosen, true, entry, [&](Stream& file) { prepare()(file); }, meta);
        }
        ContentWriter write = prepare();
        // The name is taken from now on: a later entry of this name gets another.
        written_[{level().id, chosen}] = entry;
        if (behind_->pending() >= maxBehind_) takeWritten(true);
        behind_->submit([dir, chosen, write = std::move(write), meta] { return writeNewFile(*dir, chosen, write, meta); });
        behindLabels_.push_back(labelOf(name));
        behindPaths_.push_back(dir->pathOf(chosen));
        return dir->pathOf(chosen);
    } catch (const Cancelled&) {
        throw;
    } catch (const Error& e) {
        failed(name, e);
        return "";
    }
}

void ExtractTarget::takeWritten(bool wait) {
    if (!behind_) return;
    while (behind_->pending() > 0 && (wait || behind_->ready())) {
        const std::string label = std::move(behindLabels_.front());
        behindLabels_.pop_front();
        const std::string path = std::move(behindPaths_.front());
        behindPaths_.pop_front();
        try {
            refused(behind_->take(), path);
        } catch (const Error& e) {
            failedAt(label, e);
        }
    }
}

void ExtractTarget::failed(const std::string& name, const Error& error) {
    // Failures of files still being written come first: they are of earlier entries.
    takeWritten(true);
    failedAt(labelOf(name), error);
}

void ExtractTarget::failedAt(const std::string& label, const Error& error) {
    if (lookOnly_) return;
    // The entry is named by its path below the destination, which says more than its row.
    std::string text = archive_ + ": " + label + ": " + reasonText(error);
    if (handler_) handler_->failed(text);
    failures_.push_back(std::move(text));
}

void ExtractTarget::finish() {
    takeWritten(true);
    if (!lookOnly_) applyFolderMeta();
    for (auto [kind, kept] : {std::pair{ErrorKind::ModesNotKept, &modes_}, {ErrorKind::TimesNotKept, &times_},
                              {ErrorKind::LinksNotKept, &links_}}) {
        if (kept->count == 0) continue;
        std::string text = errorText(kind, {.path = kept->first, .count = static_cast<int64_t>(kept->count)});
        if (handler_) handler_->notice(text);
        notices_.push_back(std::move(text));
        kept->count = 0;
    }
    if (failures_.empty()) return;
    throw Error(ErrorKind::EntriesFailed, {.archive = archive_, .items = failures_});
}

}  // namespace oru
