// SPDX-License-Identifier: GPL-3.0-or-later
// The archive object: creating and opening an archive, reading and writing its header and
// catalog, and the names of its side files. Adding, recovery, extraction, deletion and
// compaction are jobs of their own (AddJob, Recovery, ExtractJob, DeleteJob, CompactJob).
#include "archive/zipUtil.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <optional>
#include <string_view>

#include "archive/AddJournal.h"
#include "archive/Operation.h"
#include "archive/Recovery.h"
#include "archive/StoredRanges.h"
#include "platform/Clock.h"

namespace oru {

TKiv::TKiv() : catalog_(std::make_unique<CatalogTable>()) {
    catalog_->SetOrdering(schema::kFileName);
    std::memcpy(header_.Magic, kMagic, 4);
    header_.CatalogOffset = static_cast<int32_t>(kHeaderSize);
    header_.Created = clock::now();
}

TKiv::~TKiv() = default;

namespace {
// Whether the first bytes of a file make it one that CreateNew may empty: an archive's magic
// (in any case of its letters), or no bytes at all.
bool replaceable(Stream& file) {
    uint8_t bytes[kHeaderSize];
    file.seek(0);
    size_t have = 0;
    while (have < kHeaderSize) {
        const size_t got = file.read(bytes + have, kHeaderSize - have);
        if (got == 0) break;
        have += got;
    }
    if (have == 0) return true;
    if (have < kHeaderSize) return false;
    ArchiveHeader header{};
    decodeHeader(bytes, header);
    return magicMatches(header.Magic);
}

}  // namespace

bool TKiv::IsReplaceable(const std::string& path) {
    if (!fs::fileExists(path)) return false;
    try {
        FileStream file(path, FileStream::Mode::Read);
        return replaceable(file);
    } catch (const Error&) {
        return false;
    }
}

std::string TKiv::NotAnArchiveMessage(const std::string& path) {
    return errorText(ErrorKind::NotAnArchive, {.path = path});
}

std::unique_ptr<TKiv> TKiv::CreateNew(const std::string& path) {
    std::unique_ptr<TKiv> kiv(new TKiv());
    // A file this call made, or emptied, is removed again when the header cannot be written (a
    // full disk): no empty file stays behind to pass for a healthy archive without entries.
    struct RemoveUnlessWritten {
        TKiv& kiv;
        bool written = false;
        ~RemoveUnlessWritten() {
            if (written || !kiv.file_) return;
            kiv.file_.reset();
            fs::deleteFile(kiv.path_);
        }
    } removal{*kiv};
    if (fs::fileExists(path)) {
        // An existing file is looked at, and emptied, only once its lock is held. Only an archive
        // is emptied (bytes of it left behind the header would be taken for the catalog when the
        // new archive is opened again); any other file is someone's document and stays as it is.
        auto file = std::make_unique<FileStream>(path, FileStream::Mode::ReadWrite);
        if (!replaceable(*file)) throw Error(ErrorKind::NotAnArchive, {.path = path});
        if (file->size() > 0) file->setSize(0);
        kiv->file_ = std::move(file);
    } else {
        kiv->file_ = std::make_unique<FileStream>(path, FileStream::Mode::Create);
    }
    kiv->path_ = path;
    // A recovery file left by an interrupted add to an archive of this name belongs to the
    // archive being replaced.
    const std::string journalPath = RecoveryPathFor(path);
    if (kiv->ownSideFile(journalPath)) fs::deleteFile(journalPath);
    kiv->WriteHeader();
    removal.written = true;
    return kiv;
}

std::unique_ptr<TKiv> TKiv::OpenExisting(const std::string& path, Access access) {
    std::unique_ptr<TKiv> kiv(new TKiv());
    // A folder of that name does not count as the archive.
    if (!fs::fileExists(path)) throw Error(ErrorKind::NotFound, {.path = path});
    if (access == Access::Shared) {
        auto file = std::make_unique<FileStream>(path, FileStream::Mode::Shared);
        kiv->lockable_ = file.get();
        kiv->readOnly_ = !file->writable();
        kiv->file_ = std::move(file);
    } else {
        try {
            kiv->file_ = std::make_unique<FileStream>(path, FileStream::Mode::ReadWrite);
        } catch (const Error&) {
            // A writer refused because the archive is read only says so.
            if (!fs::mayWrite(path)) throw Error(ErrorKind::ReadOnly, {.archive = path});
            throw;
        }
    }
    kiv->path_ = path;
    kiv->finishInterruptedWork();
    return kiv;
}

// Finishes a compaction that was cut short, then reads the header and catalog, replaying the
// recovery file of an interrupted add. Both write the archive: a shared open does so under the
// exclusive lock; a read-only archive is read as it stands, unless an add must be recovered.
void TKiv::finishInterruptedWork() {
    std::optional<Writing> writing;
    const std::string journalPath = RecoveryPathFor(path_);
    const bool journal = ownSideFile(journalPath);
    // An interrupted add (this user's, or the owner's when another user reads the archive): the
    // archive is not readable until it is recovered, which needs writing it.
    if (readOnly_ && (journal || fs::sideFileAt(journalPath, path_) == fs::SideFile::OwnersOther)) {
        throw Error(ErrorKind::NeedsRecoveryReadOnly, {.archive = path_, .path = journalPath});
    }
    if (journal) {
        if (lockable_) {
            if (!lockable_->relock(true)) {
                throw Error(ErrorKind::NeedsRecoveryInUse, {.archive = path_});
            }
            writing.emplace(*this);
        }
    } else if (lockable_ && !readOnly_ && ownSideFile(TempPathFor(path_)) && lockable_->relock(true)) {
        writing.emplace(*this);
    }
    if (writing || !lockable_) Recovery(*this).FinishCompact();

    try {
        readHeaderAndCatalog();
    } catch (const Error& e) {
        // A compaction cut short may have left the complete archive in its temporary file.
        const std::string tempPath = TempPathFor(path_);
        if (fs::sideFileAt(tempPath, path_) != fs::SideFile::Owned) throw;
        throw e.naming(path_).keptIn(tempPath, true);
    }
    if (lockable_) stamp_ = fileStamp();
}

bool TKiv::ReadOnly() const { return readOnly_; }

TKiv::Writing::Writing(TKiv& kiv) : kiv_(kiv) {
    if (kiv_.readOnly_) throw Error(ErrorKind::ReadOnly, {.archive = kiv_.path_});
    // The exclusive lock may already be held (opening takes it before Writing exists).
    if (kiv_.writers_ == 0 && kiv_.lockable_) {
        if (!kiv_.lockable_->relock(true)) throw Error(ErrorKind::ArchiveInUse, {.archive = kiv_.path_});
        // flock gives up the shared lock before it takes the exclusive one: another program may
        // have written the archive in that moment, or while this one only read it. Nothing is
        // written over what it wrote: the header and catalog are read again first.
        if (!kiv_.stamp_.empty() && kiv_.fileStamp() != kiv_.stamp_) {
            try {
                kiv_.readHeaderAndCatalog();
            } catch (...) {
                kiv_.lockable_->relock(false);
                throw;
            }
            kiv_.stamp_ = kiv_.fileStamp();
            ++kiv_.reloads_;
        }
    }
    ++kiv_.writers_;
}

TKiv::Writing::~Writing() {
    if (--kiv_.writers_ > 0 || !kiv_.lockable_) return;
    // What this object wrote is what the next hold expects to find.
    try {
        kiv_.stamp_ = kiv_.fileStamp();
    } catch (const Error&) {
        kiv_.stamp_ = "?";  // unreadable now: the next hold reads the archive again
    }
    kiv_.lockable_->relock(false);
}

std::string TKiv::fileStamp() {
    std::string stamp(kHeaderSize, '\0');
    const int64_t size = file_->size();
    if (size >= kHeaderSize) {
        file_->seek(0);
        file_->readExact(stamp.data(), kHeaderSize);
    }
    stamp += std::to_string(size);
    // The catalog's bytes, hashed piece by piece: a rename or a delete may keep size and header.
    ArchiveHeader header{};
    uint8_t bytes[kHeaderSize];
    std::copy(stamp.begin(), stamp.begin() + kHeaderSize, bytes);
    decodeHeader(bytes, header);
    size_t hash = 0;
    if (header.CatalogOffset >= static_cast<int64_t>(kHeaderSize) && header.CatalogOffset < size) {
        file_->seek(header.CatalogOffset);
        std::string piece(1 << 16, '\0');
        for (int64_t left = size - header.CatalogOffset; left > 0;) {
            const size_t n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(piece.size())));
            file_->readExact(piece.data(), n);
            hash = hash * 1000003u ^ std::hash<std::string_view>{}(std::string_view(piece.data(), n));
            left -= static_cast<int64_t>(n);
        }
    }
    return stamp + ":" + std::to_string(hash);
}

void TKiv::readHeaderAndCatalog() {
    // The header is the first 16 bytes. An empty file keeps the header of a new archive and
    // opens without entries; a file of 1 to 15 bytes is no archive.
    const int64_t size = file_->size();
    if (size > 0 && size < kHeaderSize) throw Error(ErrorKind::BadFormat, {.archive = path_});
    if (size >= kHeaderSize) {
        uint8_t bytes[kHeaderSize];
        file_->seek(0);
        file_->readExact(bytes, kHeaderSize);
        decodeHeader(bytes, header_);
    }
    if (!magicMatches(header_.Magic)) throw Error(ErrorKind::BadFormat, {.archive = path_});
    const std::string journalPath = RecoveryPathFor(path_);
    if (ownSideFile(journalPath)) {
        Recovery(*this).FinishAdd(journalPath);
    } else {
        LoadCatalog();
    }
}

void TKiv::WrapFileForTesting(const FileWrapper& wrap) { file_ = wrap(std::move(file_)); }

// ---------------------------------------------------------------- header and catalog

void TKiv::LoadCatalog() {
    ranges_.reset();
    catalog_->EmptyTable();
    catalogBytes_ = 0;
    rowsSinceSave_ = 0;
    const int64_t size = file_->size();
    const int64_t offset = header_.CatalogOffset;
    // An empty file has no header yet; it is an archive without entries.
    if (size == 0) return;
    // The catalog sits behind the header, and within the file: an offset outside that range
    // means a damaged or cut file, whose entries cannot be found.
    if (offset < kHeaderSize || offset > size) throw Error(ErrorKind::BadFormat, {.archive = path_});
    // No byte at the offset: right behind the header, a new archive without entries. Further on,
    // stored files lie before it and their catalog is missing (the file was cut where the catalog
    // began, or the catalog was never written): damage, never an empty archive, so that nothing
    // written to it afterwards can throw those bytes away.
    if (offset == size) {
        if (offset == kHeaderSize) return;
        throw Error(ErrorKind::MissingCatalog, {.archive = path_});
    }
    file_->seek(offset);
    try {
        catalog_->LoadPacket(*file_);
    } catch (const Error& e) {
        // The packet reader knows neither the file nor its name; its refusals by status code
        // become "not an archive", its other findings name the archive.
        if (e.kind() != ErrorKind::CatalogStatus) throw e.naming(path_);
        throw Error(ErrorKind::BadFormat, {.archive = path_, .status = e.status()});
    }
    // A packet may hold columns of its own, but every field of the archive's schema must be among
    // them (the engine reads six, the listings show CheckinDate, adding writes it): an archive
    // without one is refused here, naming itself and the field, not at its first use.
    const std::vector<Column>& columns = catalog_->Data().columns;
    for (const char* field : {schema::kFileName, schema::kParentName, schema::kFileType, schema::kOffset,
                              schema::kOriginalSize, schema::kStoredSize, schema::kFileDate,
                              schema::kCheckinDate}) {
        if (std::none_of(columns.begin(), columns.end(), [&](const Column& c) { return c.name == field; })) {
            throw Error(ErrorKind::FieldNotFound, {.archive = path_, .detail = field});
        }
    }
    catalogBytes_ = size - offset;
}

void TKiv::SaveCatalog() {
    file_->seek(header_.CatalogOffset);
    catalog_->SavePacket(*file_);
    catalogBytes_ = file_->position() - header_.CatalogOffset;
    rowsSinceSave_ = 0;
}

void TKiv::WriteHeader() {
    uint8_t bytes[kHeaderSize];
    encodeHeader(header_, bytes);
    file_->seek(0);
    file_->write(bytes, kHeaderSize);
}

void TKiv::saveHeaderAndCatalog() {
    WriteHeader();
    SaveCatalog();
}

void TKiv::syncFile() { syncIfFile(*file_); }

namespace {
std::atomic<double> checkpointInterval{0.5};
}

void TKiv::SetCheckpointInterval(double seconds) { checkpointInterval = seconds; }
double TKiv::CheckpointInterval() { return checkpointInterval; }

std::string TKiv::RecoveryPathFor(const std::string& archivePath) { return AddJournal::PathFor(archivePath); }

std::string TKiv::TempPathFor(const std::string& archivePath) { return archivePath + ".$$$"; }

bool TKiv::ownSideFile(const std::string& path) {
    switch (fs::sideFileAt(path, path_)) {
        case fs::SideFile::Missing: return false;
        case fs::SideFile::Owned: return true;
        case fs::SideFile::OwnersOther:
        case fs::SideFile::Foreign: break;
    }
    warnOnce(path + ": 這個檔案不是由你建立的（或是連結、可被他人寫入），已略過，未讀取也未更動");
    return false;
}

void TKiv::warnOnce(const std::string& text) {
    if (std::find(warnings_.begin(), warnings_.end(), text) == warnings_.end()) warnings_.push_back(text);
}

}  // namespace oru
