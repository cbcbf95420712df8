// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's ways of looking at a stored file: the viewer, opening a row of the listing,
// and dragging rows out to a file manager.

#include "ui/zipmain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMimeData>
#include <QMimeDatabase>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <optional>
#include <string_view>

#include "archive/EntryMeta.h"
#include "catalog/ArchiveSchema.h"
#include "platform/CodePage.h"
#include "platform/Error.h"
#include "ui/Browse.h"
#include "ui/CatalogModel.h"
#include "ui/CommandProgress.h"
#include "ui/CommandTexts.h"
#include "ui/DBGrid.h"
#include "ui/Dialogs.h"
#include "ui/zipmainParts.h"

namespace oru::ui {

using namespace mainframe;

namespace {

// The first bytes of an entry's content, for the viewer.
struct HeadOfEntry {
    std::string bytes;
    bool cut = false;  // the content goes on beyond bytes
};

// Keeps the first limit bytes written to it and stops the decoding once one more arrives.
class HeadSink : public oru::Stream {
public:
    struct Full {};  // thrown out of ReadEntry: the rest of the content is not needed
    explicit HeadSink(size_t limit) : limit_(limit) {}
    size_t read(void*, size_t) override { return 0; }
    void write(const void* buffer, size_t n) override {
        const size_t room = limit_ - head_.bytes.size();
        head_.bytes.append(static_cast<const char*>(buffer), std::min(n, room));
        if (n > room) {
            head_.cut = true;
            throw Full{};
        }
    }
    int64_t position() const override { return static_cast<int64_t>(head_.bytes.size()); }
    void seek(int64_t) override {}
    int64_t size() const override { return static_cast<int64_t>(head_.bytes.size()); }
    void setSize(int64_t) override {}
    HeadOfEntry take() { return std::move(head_); }

private:
    size_t limit_;
    HeadOfEntry head_;
};

// The first limit bytes of the content of catalog's current row; fails as ReadEntry does.
HeadOfEntry readHead(oru::TKiv& archive, oru::CatalogTable& catalog, int64_t limit) {
    HeadSink sink(static_cast<size_t>(limit));
    try {
        archive.ReadEntry(catalog, sink);
    } catch (const HeadSink::Full&) {
        // Enough for the view; the decoder released what it held on the way out.
    }
    return sink.take();
}

// How much of a file decides whether it is text.
constexpr int64_t kSniffBytes = 8 << 10;

}  // namespace

QMimeData* TMainFrm::dragData() {
    QMimeData* data = nullptr;
    runCommand([this, &data] {
        BusyScope busy(busy_);
        if (!busy.entered() || DBGrid1->SelectedCount() == 0) return;
        oru::TKiv& archive = requireArchive();
        // The rows go to a private folder first; the file manager copies them from there.
        const QString folder = newPrivateFolder();
        extractSelection(archive, toNative(folder));
        QList<QUrl> urls;
        const QDir dir(folder);
        for (const QString& name : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
            urls << QUrl::fromLocalFile(dir.filePath(name));
        data = new QMimeData;
        data->setUrls(urls);
    });
    return data;
}

QString TMainFrm::newPrivateFolder() {
    if (!privateFiles_) privateFiles_ = std::make_unique<QTemporaryDir>();
    // The user's own, closed to everyone else (mkdtemp makes it so; said again here, as it is
    // where the user's opened files wait).
    if (!privateFiles_->isValid() ||
        !QFile::setPermissions(privateFiles_->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        throw oru::Error(oru::ErrorKind::CannotCreateFolder, {.path = toNative(QDir::tempPath())});
    const QString folder = privateFiles_->filePath(QString::number(++privateCount_));
    if (!QDir().mkpath(folder)) throw oru::Error(oru::ErrorKind::CannotCreateFolder, {.path = toNative(folder)});
    return folder;
}

void TMainFrm::BtnBrowseClick() {
    BusyScope busy(busy_);
    if (!busy.entered()) return;
    oru::TKiv& archive = requireArchive();
    oru::CatalogTable& catalog = archive.Catalog();
    if (catalog.IsEmpty()) return;
    // The row drawn selected is the one viewed, never a cursor moved away from it with Ctrl.
    const int row = DBGrid1->actionRow();
    if (row < 0) return dialogs::tell(this, nothingToViewHint());
    DataSource1->setCurrentRow(row);
    showInViewer(archive, catalog);
}

void TMainFrm::showInViewer(oru::TKiv& archive, oru::CatalogTable& catalog) {
    // A folder row fails here, before any window exists.
    const HeadOfEntry head = readHead(archive, catalog, kViewLimit);
    const std::string name = oru::entrymeta::trueName(catalog);
    auto* viewer = new TfmBrowse(this);
    viewer->setWindowTitle(QString::fromStdString(name));
    const std::string_view start = std::string_view(head.bytes).substr(0, kSniffBytes);
    if (!looksLikeText(start)) {
        // Not text: what it is, and a way to open it where it can be shown.
        const QLocale locale;
        const QMimeType type = QMimeDatabase().mimeTypeForData(QByteArray::fromStdString(std::string(start)));
        viewer->describeFile(tr("%1 is not a text file, so it is not shown here.\nType: %2 (%3)\nSize: %4")
                                 .arg(QString::fromStdString(name), type.comment(), type.name(),
                                      sizeText(catalog.GetInteger(oru::schema::kOriginalSize), locale)));
        const std::optional<oru::Bookmark> bookmark = catalog.GetBookmark();
        const std::string archivePath = archive.ArchivePath();
        connect(viewer, &TfmBrowse::openRequested, this, [this, bookmark, archivePath] {
            runWhenFree([this, bookmark, archivePath] {
                // Only while the archive it came from is shown, its row still there.
                if (!CurrentArchive_ || ArchiveFileName_ != archivePath || !bookmark) return;
                CurrentArchive_->Catalog().GotoBookmark(*bookmark);
                if (const int row = DataSource1->currentRow(); row >= 0) openWithApplication(row);
            });
        });
        viewer->show();
        return;
    }
    if (isHtmlName(name))
        viewer->writeDocument(browseText(head.bytes, head.cut));
    else
        viewer->writePlainText(plainText(head.bytes, head.cut));
    if (head.cut) {
        const QLocale locale;
        viewer->setNote(tr("The file is too large: showing the first %1 of %2")
                            .arg(sizeText(static_cast<qint64>(head.bytes.size()), locale),
                                 sizeText(catalog.GetInteger(oru::schema::kOriginalSize), locale)));
    }
    viewer->show();
}

void TMainFrm::openRow(int row) {
    BusyScope busy(busy_);
    if (!busy.entered() || row < 0 || row >= DataSource1->rowCount()) return;
    if (DataSource1->showsFolderPaths()) return showInItsFolder(row);  // a result of the search
    oru::TKiv& archive = requireArchive();
    oru::CatalogTable& catalog = archive.Catalog();
    DataSource1->setCurrentRow(row);
    if (DataSource1->isFolder(row)) {
        // The folder's node below the node shown.
        const QByteArray name = QByteArray::fromStdString(catalog.GetText(oru::schema::kFileName));
        QTreeWidgetItem* node = tv->currentItem();
        for (int i = 0; node && i < node->childCount(); ++i)
            if (node->child(i)->data(0, kNameRole).toByteArray() == name) return tv->setCurrentItem(node->child(i));
        return;
    }
    const std::string name = oru::entrymeta::trueName(catalog);
    const HeadOfEntry head = readHead(archive, catalog, kSniffBytes);
    const QMimeType type = QMimeDatabase().mimeTypeForFileNameAndData(
        QString::fromStdString(name), QByteArray::fromStdString(head.bytes));
    if (isHtmlName(name) || (type.inherits(QStringLiteral("text/plain")) && looksLikeText(head.bytes)))
        return showInViewer(archive, catalog);
    // Anything else goes to the desktop's application for its type.
    openWithApplication(row);
}

void TMainFrm::openSelectionWithApplication() {
    BusyScope busy(busy_);
    if (!busy.entered()) return;
    requireArchive();
    const std::vector<int> rows = DBGrid1->selectedModelRows();
    if (rows.empty()) return dialogs::tell(this, nothingToViewHint());
    for (const int row : rows)
        if (!DataSource1->isFolder(row)) openWithApplication(row);
}

void TMainFrm::openWithApplication(int row) {
    oru::TKiv& archive = requireArchive();
    oru::CatalogTable& catalog = archive.Catalog();
    DataSource1->setCurrentRow(row);
    if (DataSource1->isFolder(row)) return;
    // The copy goes to a folder of its own, so that it keeps the entry's name.
    const QString folder = newPrivateFolder();
    archive.ExtractEntry(catalog, toNative(folder));
    const QStringList written = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    if (written.isEmpty()) return;
    TOpenedEntries::Entry entry;
    entry.copy = QDir(folder).filePath(written.front());
    entry.archivePath = ArchiveFileName_;
    entry.parentName = catalog.GetText(oru::schema::kParentName);
    entry.storedName = catalog.GetText(oru::schema::kFileName);
    entry.offset = catalog.GetInteger(oru::schema::kOffset);
    entry.storedSize = catalog.GetInteger(oru::schema::kStoredSize);
    entry.reloads = archive.Reloads();
    openedEntries_->watch(entry);
    dialogs::openExternally(this, entry.copy);
}

bool TMainFrm::updateOpenedEntry(TOpenedEntries::Entry& entry) {
    if (busy_) return false;
    const QString name = QFileInfo(entry.copy).fileName();
    if (!entry.confirmed && !dialogs::askYesNo(this, tr("The file %1 was modified. Update it in the archive?").arg(name),
                                               tr("&Update"), tr("Do &Not Update")))
        return true;
    // A command started while the question was open: the update follows once it has ended.
    entry.confirmed = true;
    if (busy_) return false;
    entry.confirmed = false;
    runCommand([this, &entry, &name] {
        BusyScope busy(busy_);
        oru::TKiv& archive = requireArchive();
        if (ArchiveFileName_ != entry.archivePath) return;  // closed meanwhile: never another archive
        const oru::TKiv::Writing writing(archive);
        // The entry as it is in the archive now (read again when another program wrote it).
        oru::CatalogTable all;
        all.CloneFrom(archive.Catalog());
        all.SetFiltered(false);
        bool same = false, found = false;
        for (all.First(); !all.AtEnd(); all.Next()) {
            if (all.GetText(oru::schema::kParentName) != entry.parentName ||
                all.GetText(oru::schema::kFileName) != entry.storedName)
                continue;
            found = true;
            same = all.GetInteger(oru::schema::kOffset) == entry.offset &&
                   all.GetInteger(oru::schema::kStoredSize) == entry.storedSize;
            break;
        }
        if (archive.Reloads() != entry.reloads || !found || !same) {
            rebuildTreeKeepingFolder();
            const QString question =
                found ? tr("%1 has changed in the archive since you opened it (another program or another command "
                           "wrote it). Replace it with the file you edited?")
                      : tr("%1 is no longer in the archive (another program or another command removed it). Add "
                           "the file you edited?");
            if (!dialogs::askYesNo(this, question.arg(name), tr("&Replace"), tr("Cancel"))) return;
        }
        {
            CommandProgress progress(dialogs::makeProgress(this, tr("Update"), true),
                                     static_cast<uint64_t>(QFileInfo(entry.copy).size()));
            ProgressScope reporting(archive, &progress);
            archive.AddPath(entry.parentName, toNative(entry.copy), oru::TKiv::AddMode::Replace);
        }
        // What the next change is compared with: the entry as this update left it.
        for (all.CloneFrom(archive.Catalog()), all.SetFiltered(false), all.First(); !all.AtEnd(); all.Next()) {
            if (all.GetText(oru::schema::kParentName) == entry.parentName &&
                all.GetText(oru::schema::kFileName) == entry.storedName) {
                entry.offset = all.GetInteger(oru::schema::kOffset);
                entry.storedSize = all.GetInteger(oru::schema::kStoredSize);
            }
        }
        entry.reloads = archive.Reloads();
        rebuildTreeKeepingFolder();
        setOutcome(tr("Updated %1 in the archive").arg(name));
    });
    return true;
}

}  // namespace oru::ui
