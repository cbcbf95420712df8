// SPDX-License-Identifier: GPL-3.0-or-later
// Where one extraction writes; see ExtractTarget.h. A new file is made without a name (or, where
// the file system cannot, under a hidden name of its own) and gets its name only once it is
// complete, so a damaged entry (or a cancelled one) leaves nothing; an existing file is replaced
// by a rename, only by a complete one, and the rename replaces a link itself, never its target.
// Small files are written by worker threads while the walk goes on: creating files is most of
// the work of extracting many small ones, and a second core halves it.
#include "archive/ExtractTarget.h"

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

// Writes a file of the name, which nothing had when it was chosen, in dir: write fills it, and
// only a complete file gets the name. Fails with the error of write or "Cannot create file %s"
// (when the name was taken meanwhile, among others).
void writeNewFile(const fs::Directory& dir, const std::string& name, const std::function<void(Stream&)>& write) {
    if (std::unique_ptr<FileStream> file = dir.createUnnamed(name)) {
        write(*file);
        if (!dir.nameFile(*file, name)) throw Error(ErrorKind::CannotCreate, {.path = dir.pathOf(name)});
        return;
    }
    TemporaryName temp(dir);
    {
        const std::unique_ptr<FileStream> file = dir.createTemporary(name, temp.name);
        write(*file);
    }
    if (!dir.rename(temp.name, name, false)) throw Error(ErrorKind::CannotCreate, {.path = dir.pathOf(name)});
    temp.name.clear();
}

// Files written behind the walk at a time, per worker: enough to keep the workers busy while the
// walk reads the next entries, few enough to bound the memory their stored bytes take.
constexpr size_t kBehindPerWorker = 8;

}  // namespace

ExtractTarget::ExtractTarget(const std::string& destination, const std::string& archive, ConflictHandler* handler,
                             bool lookOnly)
    : archive_(archive), handler_(handler), lookOnly_(lookOnly) {
    levels_.push_back(makeLevel(fs::Directory::open(destination, !lookOnly), "", false));
    if (!lookOnly && WorkerPool::cores() > 1 && !WorkerPool::onWorkerThread()) {
        WorkerPool& pool = WorkerPool::shared();
        behind_ = std::make_unique<OrderedJobs<bool>>(&pool);
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

void ExtractTarget::enter(const std::string& name) {
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
}

void ExtractTarget::leave() {
    if (levels_.size() > 1) levels_.pop_back();
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

std::string ExtractTarget::writeFile(const std::string& name, uint64_t entry, const std::function<void(Stream&)>& write) {
    if (level().broken) return "";
    // Failures are recorded in the order of the entries.
    takeWritten(true);
    try {
        bool replace = false;
        const std::string chosen = chooseName(name, entry, replace);
        if (chosen.empty() || lookOnly_) return "";
        return writeChosen(chosen, replace, entry, write);
    } catch (const Cancelled&) {
        throw;
    } catch (const Error& e) {
        failed(name, e);
        return "";
    }
}

std::string ExtractTarget::writeChosen(const std::string& chosen, bool replace, uint64_t entry,
                                       const std::function<void(Stream&)>& write) {
    const fs::Directory& dir = *level().dir;
    if (!replace) {
        writeNewFile(dir, chosen, write);
    } else {
        // A file being replaced must be one this user may write and nobody holds open.
        std::unique_ptr<FileStream> existing;
        if (dir.kind(chosen) == fs::EntryKind::File) existing = dir.lockExisting(chosen);
        TemporaryName temp(dir);
        {
            const std::unique_ptr<FileStream> file = dir.createTemporary(chosen, temp.name);
            write(*file);
        }
        if (!dir.rename(temp.name, chosen, true)) throw Error(ErrorKind::CannotCreate, {.path = dir.pathOf(chosen)});
        temp.name.clear();
    }
    written_[{level().id, chosen}] = entry;
    return dir.pathOf(chosen);
}

std::string ExtractTarget::writeFileBehind(const std::string& name, uint64_t entry,
                                           const std::function<ContentWriter()>& prepare) {
    if (!behind_ || level().broken || lookOnly_) {
        return writeFile(name, entry, [&](Stream& file) { prepare()(file); });
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
            return writeChosen(chosen, true, entry, [&](Stream& file) { prepare()(file); });
        }
        ContentWriter write = prepare();
        // The name is taken from now on: a later entry of this name gets another.
        written_[{level().id, chosen}] = entry;
        if (behind_->pending() >= maxBehind_) takeWritten(true);
        behind_->submit([dir, chosen, write = std::move(write)] {
            writeNewFile(*dir, chosen, write);
            return true;
        });
        behindLabels_.push_back(labelOf(name));
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
        try {
            behind_->take();
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
    if (failures_.empty()) return;
    throw Error(ErrorKind::EntriesFailed, {.archive = archive_, .items = failures_});
}

}  // namespace oru
