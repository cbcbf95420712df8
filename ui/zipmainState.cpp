// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's state: the archive open, the caption, the status bar, the file panes.

#include "ui/zipmain.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QLocale>
#include <QTreeWidget>

#include "platform/Error.h"
#include "ui/CatalogModel.h"
#include "ui/CommandTexts.h"
#include "ui/DBGrid.h"
#include "ui/Dialogs.h"
#include "ui/FilePanes.h"
#include "ui/zipmainParts.h"

namespace oru::ui {

using namespace mainframe;

QString TMainFrm::windowTitleFor(const std::string& archivePath, bool readOnly) {
    const QString caption = QStringLiteral("Windows Oru File Shell");
    if (archivePath.empty()) return caption;
    QString name = QFileInfo(fromNative(archivePath)).fileName();
    if (readOnly) name += tr(" [read-only]");
    return name + QStringLiteral(" — ") + caption;
}

void TMainFrm::updateTitle() {
    setWindowTitle(CurrentArchive_ ? windowTitleFor(ArchiveFileName_, CurrentArchive_->ReadOnly()) : windowTitleFor({}));
    const bool open = CurrentArchive_ != nullptr;
    for (QAction* action : archiveActions_) action->setEnabled(open);
    for (QToolButton* button : {BtnAddFile, BtnDelete, BtnBrowse, BtnExtract, BtnBuildExe}) button->setEnabled(open);
}

// ---- the archive open

void TMainFrm::closeArchive() {
    // Nothing said about this archive holds for the next one: no search, no outcome.
    if (!FindEdit->text().isEmpty()) FindEdit->clear();
    setOutcome({});
    // Copies opened from this archive are no longer put back into it.
    if (!ArchiveFileName_.empty()) openedEntries_->forget(ArchiveFileName_);
    DataSource1->bind(nullptr);  // the listing must let go before the catalog goes
    CurrentArchive_.reset();
    ArchiveFileName_.clear();
    tv->clear();  // no node may stand for an archive that is gone
    updateTitle();
}

void TMainFrm::showChangedArchive() {
    rebuildTreeKeepingFolder();
    setOutcome(tr("The archive was changed by another program."));
    dialogs::tell(this, tr("Another program has changed %1 since it was shown. The list now shows the archive as "
                           "it is; nothing was done. Select again, then repeat the command.")
                            .arg(QFileInfo(fromNative(ArchiveFileName_)).fileName()));
}

oru::TKiv& TMainFrm::requireArchive() {
    if (!CurrentArchive_) throw oru::Error(oru::ErrorKind::NoArchiveOpen, {});
    return *CurrentArchive_;
}

// ---- start-up

void TMainFrm::FormCreate() {
    ArchiveFileName_.clear();
    if (args_.empty()) return;
    openOrOfferRepair(args_.back());
}

void TMainFrm::openArchive(const std::string& path) {
    // An archive that fails half way (its folder tree cannot be built) is closed again on the way
    // to the central handler: the window then shows no archive and every command works as before.
    struct CloseUnlessOpened {
        TMainFrm& window;
        bool opened = false;
        ~CloseUnlessOpened() {
            if (!opened) window.closeArchive();
        }
    } guard{*this};
    CurrentArchive_ = oru::TKiv::OpenExisting(path, oru::TKiv::Access::Shared);
    ArchiveFileName_ = path;
    updateTitle();
    rememberRecent(path);
    BuildFolderTree(CurrentArchive_->Catalog(), nullptr, "");
    guard.opened = true;
}

void TMainFrm::refreshFilePanes() {
    DirectoryListBox1->Reread();
    FileListBox1->Reread();
}

void TMainFrm::watchFilePanes() {
    const QStringList watched = paneWatcher_->directories();
    if (!watched.isEmpty()) paneWatcher_->removePaths(watched);
    if (!DirectoryListBox1->Directory().isEmpty()) paneWatcher_->addPath(DirectoryListBox1->Directory());
}

void TMainFrm::setOutcome(const QString& text) { OutcomeStatus->setText(text); }

void TMainFrm::updateStatus() {
    const QLocale locale;
    const QAbstractItemModel* shown = DBGrid1->model();
    int folders = 0, files = 0;
    int64_t bytes = 0;
    for (int r = 0; r < shown->rowCount(); ++r) {
        const int row = DBGrid1->sourceRow(r);
        if (DataSource1->isFolder(row)) {
            ++folders;
        } else {
            ++files;
            bytes += DataSource1->originalSize(row);
        }
    }
    // "1 folder, 2 files, 2.93 KiB": each count with its own plural.
    const QString counts = tr("%1, %2, %3").arg(tr("%n folder(s)", nullptr, folders), tr("%n file(s)", nullptr, files),
                                                sizeText(bytes, locale));
    FolderStatus->setText(DataSource1->isBound() ? counts : QString());
    int64_t selectedBytes = 0;
    for (int row : DBGrid1->selectedModelRows()) selectedBytes += DataSource1->originalSize(row);
    SelectionStatus->setText(DBGrid1->SelectedCount() > 0
                                 ? tr("%n item(s) selected, %1", nullptr, DBGrid1->SelectedCount())
                                       .arg(sizeText(selectedBytes, locale))
                                 : QString());
}

}  // namespace oru::ui
