// Where one extraction writes; see ExtractTarget.h. A file is written under a hidden name of its
// own and renamed into place only once it is complete, so a damaged entry (or a cancelled one)
// leaves nothing, and an existing file is replaced only by a complete one. The rename replaces a
// link itself, never its target.
#include "archive/ExtractTarget.h"

#include "archive/EntryNames.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"

namespace oru {

namespace {

// How many failures the final message lists by name.
constexpr size_t kListedFailures = 10;

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

// A reason for the user: the codec's bare "error" and a read outside the archive mean damage.
std::string reasonText(const std::string& message) {
    if (message == "error" || message == msg::kReadError) return "壓縮資料已損壞（" + message + "）";
    return message;
}

std::string identity(const fs::Directory& dir) {
    const fs::FileId id = dir.id();
    return std::to_string(id.dev) + ":" + std::to_string(id.ino);
}

}  // namespace

ExtractTarget::ExtractTarget(const std::string& destination, const std::string& archive, ConflictHandler* handler,
                             bool lookOnly)
    : archive_(archive), handler_(handler), lookOnly_(lookOnly) {
    levels_.push_back(Level{fs::Directory::open(destination, !lookOnly), "", false});
}

std::string ExtractTarget::labelOf(const std::string& name) const {
    return levels_.back().label.empty() ? name : levels_.back().label + "/" + name;
}

void ExtractTarget::enter(const std::string& name) {
    Level next{fs::Directory(), labelOf(name), level().broken};
    if (!next.broken) {
        try {
            next.dir = level().dir.child(name, !lookOnly_);
        } catch (const Cancelled&) {
            throw;
        } catch (const Error& e) {
            if (!lookOnly_) failed(name, e.what());
            next.broken = true;
        }
    }
    levels_.push_back(std::move(next));
}

void ExtractTarget::leave() {
    if (levels_.size() > 1) levels_.pop_back();
}

std::string ExtractTarget::chooseName(const std::string& name, uint64_t entry, bool& replace) {
    const fs::Directory& dir = level().dir;
    replace = false;
    // What this extraction wrote itself is never replaced: a later entry of the same name gets
    // a name of its own; the same entry once more is there already.
    const auto own = written_.find({identity(dir), name});
    if (own != written_.end() && own->second == entry) return "";
    const bool ownFile = own != written_.end();
    ConflictChoice choice = ConflictChoice::KeepBoth;
    if (!ownFile) {
        switch (dir.kind(name)) {
            case fs::EntryKind::None:
                if (lookOnly_) written_[{identity(dir), name}] = entry;
                return name;
            case fs::EntryKind::Directory: throw Error(msg::cannotCreate(dir.pathOf(name)));
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
        if (dir.kind(marked) == fs::EntryKind::None) return marked;
    }
}

std::string ExtractTarget::writeFile(const std::string& name, uint64_t entry, const std::function<void(Stream&)>& write) {
    if (level().broken) return "";
    const fs::Directory& dir = level().dir;
    try {
        bool replace = false;
        const std::string chosen = chooseName(name, entry, replace);
        if (chosen.empty() || lookOnly_) return "";
        // A file being replaced must be one this user may write and nobody holds open.
        std::unique_ptr<FileStream> existing;
        if (replace && dir.kind(chosen) == fs::EntryKind::File) existing = dir.lockExisting(chosen);

        TemporaryName temp(dir);
        {
            const std::unique_ptr<FileStream> file = dir.createTemporary(chosen, temp.name);
            write(*file);
        }
        if (!dir.rename(temp.name, chosen, replace)) throw Error(msg::cannotCreate(dir.pathOf(chosen)));
        temp.name.clear();
        written_[{identity(dir), chosen}] = entry;
        return dir.pathOf(chosen);
    } catch (const Cancelled&) {
        throw;
    } catch (const Error& e) {
        failed(name, e.what());
        return "";
    }
}

void ExtractTarget::failed(const std::string& name, const std::string& message) {
    if (lookOnly_) return;
    std::string text = archive_ + ": " + labelOf(name) + ": " + reasonText(message);
    if (handler_) handler_->failed(text);
    failures_.push_back(std::move(text));
}

void ExtractTarget::finish() const {
    if (failures_.empty()) return;
    if (failures_.size() == 1) throw Error(failures_.front());
    std::string text = std::to_string(failures_.size()) + " 個項目未能解出，其他項目已解出：";
    for (size_t i = 0; i < failures_.size() && i < kListedFailures; ++i) text += "\n" + failures_[i];
    if (failures_.size() > kListedFailures) {
        text += "\n……以及其他 " + std::to_string(failures_.size() - kListedFailures) + " 個";
    }
    throw Error(text);
}

}  // namespace oru
