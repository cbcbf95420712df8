// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's commands on the archive: New, Open, Add, Extract, Delete, Rebuild, Test and
// Properties.

#include "ui/zipmain.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QLocale>
#include <QTreeWidget>
#include <algorithm>
#include <map>
#include <optional>

#include "archive/CatalogTree.h"
#include "archive/DeleteJob.h"
#include "archive/EntryMeta.h"
#include "catalog/ArchiveSchema.h"
#include "platform/CodePage.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "ui/ArchiveReport.h"
#include "ui/CommandProgress.h"
#include "ui/CommandTexts.h"
#include "ui/DBGrid.h"
#include "ui/FilePanes.h"
#include "ui/Dialogs.h"
#include "ui/zipmainParts.h"

namespace oru::ui {

using namespace mainframe;

namespace {

// "<what was done>, <bytes>, <seconds> s": the outcome of a command in the status bar.
QString outcomeText(const QString& what, const CommandProgress& progress) {
    return TMainFrm::tr("%1, %2, %3 s")
        .arg(what, sizeText(static_cast<qint64>(progress.bytes())), QLocale().toString(progress.seconds(), 'f', 1));
}

QString fileSizeText(const std::string& path) { return sizeText(QFileInfo(QString::fromStdString(path)).size()); }

// The bytes of the files at paths and below them (links not followed): the total of an Add.
uint64_t bytesOnDisk(const std::vector<std::string>& paths) {
    uint64_t total = 0;
    for (const std::string& path : paths) {
        const QFileInfo info(QString::fromStdString(path));
        if (info.isFile()) total += static_cast<uint64_t>(info.size());
        if (!info.isDir()) continue;
        QDirIterator it(info.filePath(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) total += static_cast<uint64_t>(it.nextFileInfo().size());
    }
    return total;
}

// The bytes extracting the rows (positions in catalog's view) writes: their files, and the files
// below their folders as extraction's own walk reaches them.
uint64_t contentBytes(oru::CatalogTable& catalog, const std::vector<int>& rows, const std::string& archivePath) {
    oru::CatalogTable all;
    all.CloneFrom(catalog);
    all.SetFiltered(false);
    const oru::CatalogTree tree(all, archivePath);
    struct Sum : oru::CatalogTree::Visitor {
        explicit Sum(const oru::CatalogTable& table) : all(table) {}
        void visit(int row, bool) override {
            if (all.IntegerAt(row, oru::schema::kFileType) != oru::schema::kFolder)
                total += static_cast<uint64_t>(std::max<int64_t>(0, all.IntegerAt(row, oru::schema::kOriginalSize)));
        }
        const oru::CatalogTable& all;
        uint64_t total = 0;
    } sum(all);
    for (int row : rows) {
        if (catalog.IntegerAt(row, oru::schema::kFileType) == oru::schema::kFolder) {
            tree.walkBelow(catalog.TextAt(row, oru::schema::kFileName), {}, sum);
        } else {
            sum.total += static_cast<uint64_t>(std::max<int64_t>(0, catalog.IntegerAt(row, oru::schema::kOriginalSize)));
        }
    }
    return sum.total;
}

// The size and date of the file at row of table, for the conflict question.
ConflictEntry entryFacts(const oru::CatalogTable& table, int row) {
    ConflictEntry entry;
    entry.size = table.IntegerAt(row, oru::schema::kOriginalSize);
    entry.hasDate = table.HasValueAt(row, oru::schema::kCheckinDate);
    if (entry.hasDate) entry.date = table.DateTimeAt(row, oru::schema::kCheckinDate);
    return entry;
}

// The facts of every file extracting rows (positions in catalog's view) may write, by its path
// below the destination (UTF-8 names joined by "/"), for the conflict question.
std::map<std::string, ConflictEntry> entriesByPath(oru::CatalogTable& catalog, const std::vector<int>& rows,
                                                  const std::string& archivePath) {
    oru::CatalogTable all;
    all.CloneFrom(catalog);
    all.SetFiltered(false);
    const oru::CatalogTree tree(all, archivePath);
    struct Paths : oru::CatalogTree::Visitor {
        Paths(const oru::CatalogTable& table, std::map<std::string, ConflictEntry>& found) : all(table), entries(found) {}
        void visit(int row, bool entered) override {
            const std::string name = oru::entrymeta::trueNameAt(all, row);
            if (entered) return folders.push_back(name);
            if (all.IntegerAt(row, oru::schema::kFileType) == oru::schema::kFolder) return;
            std::string path;
            for (const std::string& folder : folders) path += folder + "/";
            entries[path + name] = entryFacts(all, row);
        }
        void leave(int) override { folders.pop_back(); }
        const oru::CatalogTable& all;
        std::map<std::string, ConflictEntry>& entries;
        std::vector<std::string> folders;
    };
    std::map<std::string, ConflictEntry> entries;
    for (int row : rows) {
        const std::string name = oru::entrymeta::trueNameAt(catalog, row);
        if (catalog.IntegerAt(row, oru::schema::kFileType) != oru::schema::kFolder) {
            entries[name] = entryFacts(catalog, row);
            continue;
        }
        Paths paths(all, entries);
        paths.folders.push_back(name);
        try {
            tree.walkBelow(catalog.TextAt(row, oru::schema::kFileName), {}, paths);
        } catch (const oru::Error&) {
            // A catalog the walk refuses: extraction says so itself; the question shows less.
        }
    }
    return entries;
}

}  // namespace

void TMainFrm::openRecent(const std::string& path) {
    BusyScope busy(busy_);
    if (!busy.entered()) return;
    closeArchive();
    openOrOfferRepair(path);
}

void TMainFrm::BtnNewFileClick() {
    BusyScope busy(busy_);
    if (!busy.entered()) return;
    closeArchive();  // before the dialog: cancelling leaves no archive open
    const std::optional<std::string> path = dialogs::askArchivePath(this, true, lastSaveName_);
    if (!path) return;
    // An archive there is replaced only when the user says so; any other file is refused by
    // CreateNew and stays as it is.
    if (oru::TKiv::IsReplaceable(*path) && !dialogs::askYesNo(this, replaceArchiveQuestion(fromNative(*path)))) return;
    // Made under the exclusive lock, then shown as every archive is: with the shared one, so
    // that other programs (oru list, another window) may read it beside the window.
    oru::TKiv::CreateNew(*path).reset();
    CurrentArchive_ = oru::TKiv::OpenExisting(*path, oru::TKiv::Access::Shared);
    ArchiveFileName_ = *path;
    updateTitle();
    rememberRecent(*path);
    // A lone root; the listing stays unbound until something is added.
    tv->clear();
    tv->setCurrentItem(addNode(nullptr, {}));
}

void TMainFrm::BtnOpenFileClick() {
    BusyScope busy(busy_);
    if (!busy.entered()) return;
    closeArchive();
    const std::optional<std::string> path = dialogs::askArchivePath(this, false, lastOpenName_);
    if (!path) return;
    openOrOfferRepair(*path);
}

void TMainFrm::ToolButton1Click() { close(); }

void TMainFrm::BtnAddFileClick() {
    BusyScope busy(busy_);
    if (!busy.entered()) return;
    if (FileListBox1->selectedItems().isEmpty()) return;  // nothing at all, not even a rebuild
    oru::TKiv& archive = requireArchive();
    const oru::TKiv::Writing writing(archive);  // a read-only archive says why here; read again
                                                // when another program changed it meanwhile
    const std::string directory = toNative(FileListBox1->Directory());
    std::vector<std::string> paths;  // in the file pane's order
    for (int i = 0; i < FileListBox1->count(); ++i) {
        const QListWidgetItem* item = FileListBox1->item(i);
        if (item->isSelected()) paths.push_back(oru::fs::join(directory, toNative(TFileListBox::itemName(item))));
    }
    const auto skipped = addPaths(archive, std::string(), paths);
    BuildFolderTree(archive.Catalog(), nullptr, "");
    reportSkipped(skipped);
}

void TMainFrm::reportSkipped(const std::vector<CommandProgress::Skipped>& skipped) {
    if (skipped.empty()) return;
    dialogs::showReport(this, tr("Add Files"), skippedSummary(skipped.size()), skippedLines(skipped));
}

void TMainFrm::addDroppedPaths(const QStringList& dropped) {
    BusyScope busy(busy_);
    if (!busy.entered() || dropped.isEmpty()) return;
    oru::TKiv& archive = requireArchive();
    const oru::TKiv::Writing writing(archive);
    std::vector<std::string> paths;
    for (const QString& path : dropped) paths.push_back(toNative(path));
    const auto skipped = addPaths(archive, folderNameOf(tv->currentItem()), paths);  // into the folder shown
    rebuildTreeKeepingFolder();
    reportSkipped(skipped);
}

std::vector<CommandProgress::Skipped> TMainFrm::addPaths(oru::TKiv& archive, const std::string& parent,
                                                         const std::vector<std::string>& paths) {
    // Items the archive holds already are asked about first; Cancel adds nothing.
    const auto plan = planAdd(paths, archive.AddedBefore(parent, paths),
                               [this](const std::string& path) { return dialogs::askExisting(this, path); });
    if (!plan) return {};
    CommandProgress progress(dialogs::makeProgress(this, tr("Add Files"), true), bytesOnDisk(paths));
    progress.stopWhen(closeRequested_);
    RenameRecorder renames(&progress);
    ProgressScope reporting(archive, &renames);
    archive.SetPlain(plainArchives_ && plainArchives_->isChecked());
    for (size_t i = 0; i < plan->size(); ++i) {
        if (i > 0) progress.nextCall();
        archive.AddPath(parent, (*plan)[i].path, (*plan)[i].mode);
    }
    setOutcome(outcomeText(tr("Added %n item(s)", nullptr, static_cast<int>(progress.items())), progress));
    if (!renames.renames().empty()) dialogs::showRenamed(this, renames.renames());
    return progress.skippedItems();
}

void TMainFrm::BtnExtractClick() {
    BusyScope busy(busy_);
    if (!busy.entered()) return;
    requireArchive();
    const std::optional<std::string> directory = dialogs::askFolder(this);
    if (!directory) return;
    extractShown(*directory);
    if (OpenFolderAfterExtract->isChecked()) dialogs::openExternally(this, fromNative(*directory));
}

void TMainFrm::extractTo(const std::string& directory) {
    BusyScope busy(busy_);
    if (!busy.entered()) return;
    extractShown(directory);
}

void TMainFrm::extractShown(const std::string& directory) {
    oru::TKiv& archive = requireArchive();
    if (!oru::fs::isDirectory(directory) && !oru::fs::forceDirectories(directory))
        throw oru::Error(oru::ErrorKind::CannotCreateFolder, {.path = directory});
    oru::CatalogTable& catalog = archive.Catalog();
    if (DBGrid1->SelectedCount() > 0) {
        extractSelection(archive, directory);
    } else {
        // Every row the listing shows (after the find field), in the catalog's order.
        std::vector<oru::Bookmark> rows;
        std::vector<int> listed;
        int row = 0;
        for (catalog.First(); !catalog.AtEnd(); catalog.Next(), ++row) {
            if (DBGrid1->shownRow(row) < 0) continue;
            rows.push_back(*catalog.GetBookmark());
            listed.push_back(row);
        }
        extractRows(archive, rows, listed, directory);
    }
    DirectoryListBox1->Reread();  // new directories show in the directory pane
}

void TMainFrm::extractSelection(oru::TKiv& archive, const std::string& directory) {
    std::vector<oru::Bookmark> rows;  // in the selection's order
    for (int i = 0; i < DBGrid1->SelectedCount(); ++i) rows.push_back(DBGrid1->SelectedBookmark(i));
    extractRows(archive, rows, DBGrid1->selectedModelRows(), directory);
}

void TMainFrm::extractRows(oru::TKiv& archive, const std::vector<oru::Bookmark>& rows,
                           const std::vector<int>& viewRows, const std::string& directory) {
    oru::CatalogTable& catalog = archive.Catalog();
    CommandProgress progress(dialogs::makeProgress(this, tr("Extract To"), true), contentBytes(catalog, viewRows, archive.ArchivePath()));
    progress.stopWhen(closeRequested_);
    ProgressScope reporting(archive, &progress);
    // Files in the way are put to the user; entries that fail are listed in one message at the end.
    const std::map<std::string, ConflictEntry> entries = entriesByPath(catalog, viewRows, archive.ArchivePath());
    const std::string below = directory.ends_with('/') ? directory : directory + "/";
    WindowConflicts conflicts([this, &entries, &below](const std::string& path) {
        const auto entry = path.starts_with(below) ? entries.find(path.substr(below.size())) : entries.end();
        return dialogs::askConflict(this, path, entry == entries.end() ? nullptr : &entry->second);
    });
    archive.SetConflictHandler(&conflicts);
    struct Answering {
        oru::TKiv& archive;
        ~Answering() { archive.SetConflictHandler(nullptr); }
    } answering{archive};
    archive.ExtractEntries(catalog, rows, directory);
    setOutcome(outcomeText(tr("Extracted %n file(s)", nullptr, static_cast<int>(progress.items())), progress));
    // The files came out, but the file system kept less than the archive holds: said once.
    if (!conflicts.notices().empty()) {
        QStringList lines;
        for (const std::string& notice : conflicts.notices()) lines << QString::fromStdString(notice);
        dialogs::tell(this, lines.join(QStringLiteral("\n")));
    }
}

void TMainFrm::BtnDeleteClick() {
    BusyScope busy(busy_);
    if (!busy.entered()) return;
    oru::TKiv& archive = requireArchive();
    const uint64_t seen = archive.Reloads();
    const oru::TKiv::Writing writing(archive);  // a read-only archive says why here
    // Rows highlighted in a listing another program has changed since may stand for other
    // entries now: the user sees the archive as it is and chooses again.
    if (archive.Reloads() != seen) return showChangedArchive();
    oru::CatalogTable& catalog = archive.Catalog();
    // Only rows the user sees highlighted go, and only once the user has said yes to their names.
    if (DBGrid1->SelectedCount() == 0) {
        dialogs::tell(this, nothingToDeleteHint());
        return;
    }
    std::vector<DeleteItem> items;
    for (const int row : DBGrid1->selectedModelRows())
        items.push_back({QString::fromStdString(oru::entrymeta::trueNameAt(catalog, row)),
                         catalog.IntegerAt(row, oru::schema::kFileType) == oru::schema::kFolder});
    if (!dialogs::askYesNo(this, deleteQuestion(items))) return;
    deleteSelection(archive);
    rebuildTreeKeepingFolder();  // the nodes of deleted folders go
    setOutcome(tr("Deleted and rebuilt; the file is now %1").arg(fileSizeText(archive.ArchivePath())));
}

void TMainFrm::deleteSelection(oru::TKiv& archive) {
    oru::CatalogTable& catalog = archive.Catalog();
    SuspendScope quiet(catalog);  // one redraw at the end, also after a failure
    const std::unique_ptr<oru::Progress> progress = dialogs::makeProgress(this, tr("Delete"), false);
    ProgressScope reporting(archive, progress.get());
    std::vector<oru::Bookmark> rows;
    for (int i = DBGrid1->SelectedCount() - 1; i >= 0; --i) rows.push_back(DBGrid1->SelectedBookmark(i));
    // The selected rows may be gone whether or not the job ends well (compaction runs after the
    // deletion), so the selection never outlives it.
    const struct ClearSelection {
        TDBGrid* grid;
        ~ClearSelection() { grid->ClearSelection(); }
    } clear{DBGrid1};
    oru::DeleteJob(archive, catalog, std::move(rows)).Run();
}

void TMainFrm::BtnBuildExeClick() {
    BusyScope busy(busy_);
    if (!busy.entered()) return;
    oru::TKiv& archive = requireArchive();
    const uint64_t seen = archive.Reloads();
    const oru::TKiv::Writing writing(archive);  // a read-only archive says why here
    if (archive.Reloads() != seen) rebuildTreeKeepingFolder();  // another program's changes show
    const QString before = fileSizeText(archive.ArchivePath());
    const std::unique_ptr<oru::Progress> progress = dialogs::makeProgress(this, tr("Rebuild Archive"), false);
    ProgressScope reporting(archive, progress.get());
    archive.Compact();
    setOutcome(tr("Archive rebuilt, %1 → %2").arg(before, fileSizeText(archive.ArchivePath())));
}

void TMainFrm::testArchive() {
    BusyScope busy(busy_);
    if (!busy.entered()) return;
    oru::TKiv& archive = requireArchive();
    const ArchiveProperties figures = propertiesOf(archive);
    CommandProgress progress(dialogs::makeProgress(this, tr("Test"), true), static_cast<uint64_t>(figures.originalBytes));
    progress.stopWhen(closeRequested_);
    ProgressScope reporting(archive, &progress);  // Cancel is also asked inside a big entry
    const TestResult result = testEntries(archive, progress);
    const QString summary = result.damaged.isEmpty()
                                ? tr("Tested %n file(s): no damage found.", nullptr, result.checked)
                                : tr("Tested %n file(s), %1 damaged:", nullptr, result.checked).arg(result.damaged.size());
    setOutcome(summary);
    dialogs::showReport(this, tr("Test"), summary, result.damaged);
    offerRepairAfterTest(static_cast<int>(result.damaged.size()));
}

void TMainFrm::showProperties() {
    oru::TKiv& archive = requireArchive();
    auto* dialog = new TPropertiesDlg(this, propertyLines(propertiesOf(archive), QLocale()));
    dialog->show();
}

}  // namespace oru::ui
