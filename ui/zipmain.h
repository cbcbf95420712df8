// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: file-system panes above, the open archive's folder tree and listing below,
// and the toolbar commands New, Open, Add, Delete, Browse, Extract, Rebuild and Exit.
//
// Commands are plain methods that raise oru::Error on failure and handle none; the application's
// central handler shows what escapes them. (Add, when the user cancels it, first shows what it
// stored so far and then lets the cancellation pass.) The dialogs are shown through ui/Dialogs.h,
// where tests answer them ahead of time, without a display. The controls are the window's own;
// each has the design's name as its object name.

#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/zipUtil.h"
#include "ui/CommandProgress.h"
#include "ui/OpenedEntries.h"

class QAction;
class QCheckBox;
class QLineEdit;
class QMimeData;
class QFileSystemWatcher;
class QKeySequence;
class QMenu;
class QGroupBox;
class QLabel;
class QTemporaryDir;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace oru::ui {

class CatalogModel;
class TDBGrid;
class TDirectoryListBox;
class TDriveComboBox;
class TFileListBox;

class TMainFrm : public QMainWindow {
    Q_OBJECT
public:
    // args: the command-line arguments after the program name. Call FormCreate() once the
    // window is built (it may fail; the window stays usable).
    explicit TMainFrm(std::vector<std::string> args, QWidget* parent = nullptr);
    ~TMainFrm() override;  // FormDestroy: the archive is closed, nothing is written

    // ---- start-up and commands
    void FormCreate();
    void BtnNewFileClick();
    void BtnOpenFileClick();
    void BtnAddFileClick();
    void BtnDeleteClick();
    void BtnBrowseClick();
    void BtnExtractClick();
    // Extract without the folder chooser: the selection, or every row the listing shows when
    // nothing is selected, below directory (made when missing).
    void extractTo(const std::string& directory);
    void BtnBuildExeClick();
    void ToolButton1Click();
    // Ctrl+T: decodes every stored file and reports the damaged ones.
    void testArchive();
    // File > Repair...: writes every stored file of a damaged archive that verifies into a new
    // archive chosen in the save dialog, the damaged one left as it is, and reports what came
    // back and what was lost. The archive repaired: the one open, else the one that last failed
    // to open as damaged, else one chosen in the open dialog.
    void repairArchive();
    // Alt+Enter: the archive's properties in a dialog of their own.
    void showProperties();
    // Ctrl+F: the find field.
    void startFind();
    // Ctrl+A in the listing: every row shown is selected.
    void selectAllRows();
    // Opens a file of the recent-archives list (closing the archive open first).
    void openRecent(const std::string& path);
    // The recent archives, most recent first (absolute paths, at most kRecentCount).
    static QStringList recentArchives();
    static constexpr int kRecentCount = 10;

    // Runs a command under the central handler (a failure is shown, not thrown). After a failure
    // the tree and listing are rebuilt from the catalog, so they show what is really there.
    // Returns false when the command failed or was cancelled.
    bool runCommand(const std::function<void()>& command);

    // The window's caption: "<archive file name> — Windows Oru File Shell", or the application's
    // caption alone with no archive; readOnly adds the read-only mark.
    static QString windowTitleFor(const std::string& archivePath, bool readOnly = false);

    // F5: both file-system panes read again from the disk (selection kept where names remain).
    void refreshFilePanes();

    // ---- folder tree and listing
    // With no node: rebuilds the whole tree from table, orders it, binds the listing and selects
    // the root. With a node: adds below it the subtree of the folder named name (CP950).
    void BuildFolderTree(oru::CatalogTable& table, QTreeWidgetItem* node, const std::string& name);
    // Restricts table's view to the rows whose ParentName equals name.
    static void ShowFolder(oru::CatalogTable& table, const std::string& name);
    void tvChange(QTreeWidgetItem* node);
    // Rebuilds the tree from the catalog and shows again the folder shown before, or the nearest
    // folder above it that still exists.
    void rebuildTreeKeepingFolder();
    // Opens a row of the listing (CatalogModel row): a folder is shown, a text or HTML file
    // viewed, any other file extracted to a private temporary folder and opened externally.
    void openRow(int row);
    // Opens a file row (CatalogModel row) with the desktop's application for its type, from a
    // private copy; when the copy is changed there, the user is asked whether to update the entry.
    void openWithApplication(int row);
    // The menu's "Open with the Default Application": every selected file row, as openWithApplication.
    void openSelectionWithApplication();
    // An opened entry's copy changed: asks once whether to update it in the archive and, when
    // yes, adds the copy again in its place (asking first when the archive or the entry changed
    // since it was opened). Returns false when a command runs: the copy is put again later.
    bool updateOpenedEntry(TOpenedEntries::Entry& entry);
    // Backspace / Alt+Up: the folder above the one shown.
    void showParentFolder();
    // The find field changed: the listing narrows to matching names, in the folder shown or,
    // with "whole archive", among every entry, each named with its folder's path.
    void applyFind();
    // A result of the whole-archive search (CatalogModel row) shown in its folder, selected.
    void showInItsFolder(int row);
    // Files and folders dropped from a file manager: added into the folder shown.
    void addDroppedPaths(const QStringList& paths);
    // The data of rows dragged out of the listing: the selection extracted to a private folder,
    // as file URLs; null when nothing was extracted.
    QMimeData* dragData();
    // The status bar: the folder shown, the selection, and the outcome of the last command.
    void updateStatus();
    void setOutcome(const QString& text);
    // The folder name a tree node stands for (CP950): empty for the root.
    std::string folderNameOf(const QTreeWidgetItem* node) const;

    // ---- state
    oru::TKiv* CurrentArchive() const { return CurrentArchive_.get(); }
    const std::string& ArchiveFileName() const { return ArchiveFileName_; }
    CatalogModel* listingModel() const { return DataSource1; }

protected:
    // Closing while a command runs stops the command (where it can stop) and closes the window
    // once it has ended, the archive consistent.
    void closeEvent(QCloseEvent* event) override;

private:
    // ---- controls, named as in the design
    QToolBar* ToolBar1;
    QToolButton *BtnNewFile, *BtnOpenFile, *BtnAddFile, *BtnDelete, *BtnBrowse, *BtnExtract,
        *BtnBuildExe, *ToolButton1;
    QWidget* Panel1;
    QWidget* Panel2;
    TDriveComboBox* DriveComboBox1;
    TDirectoryListBox* DirectoryListBox1;
    TFileListBox* FileListBox1;
    QSplitter *Splitter1, *Splitter2, *Splitter3;
    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QGroupBox* GroupBox1;
    QTreeWidget* tv;
    TDBGrid* DBGrid1;
    QStatusBar* StatusBar1;
    QMenu* RecentMenu;
    QAction* OpenFolderAfterExtract;  // checked: Extract shows the folder in the file manager
    QLineEdit* FindEdit;
    QCheckBox* WholeArchive;
    QLabel *FolderStatus, *SelectionStatus, *OutcomeStatus;

    // Runs a toolbar or menu command; one asked for while another runs waits for it to end.
    void runWhenFree(const std::function<void()>& command);
    void buildControls();
    // The size, splitter positions and column widths of the last session (QSettings), or a first
    // size of two thirds of the screen; saveLayout keeps them when the window closes.
    void restoreLayout();
    void saveLayout() const;
    QToolButton* addButton(const char* name, const QString& hint, int image, void (TMainFrm::*handler)());
    void closeArchive();
    void openArchive(const std::string& path);
    // openArchive, remembering an archive that fails to open as damaged for Repair.
    void openOrOfferRepair(const std::string& path);
    // The status bar offers Repair after a failure to open a damaged archive, or after Test
    // found damaged files.
    void offerRepairAfterFailure();
    void offerRepairAfterTest(int damaged);
    static void rememberRecent(const std::string& path);
    void buildMenus();
    QAction* addCommand(QMenu* menu, const QString& text, const QKeySequence& key, void (TMainFrm::*handler)(),
                        QWidget* scope = nullptr);
    void fillRecentMenu();
    // The caption and the commands that need an archive, enabled only with one open.
    void updateTitle();
    void watchFilePanes();
    oru::TKiv& requireArchive();
    // name: the folder's catalog name (CP950); shown: its true name, "" for name in UTF-8.
    QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const std::string& name, const std::string& shown = {});
    // After a command found the archive changed by another program: the tree and listing show it
    // as it is now, and the user is told that the command did nothing.
    void showChangedArchive();
    // Delete's work once the user has said yes: the selected rows (folders with everything in
    // them) leave the catalog, and the archive is compacted.
    void deleteSelection(oru::TKiv& archive);
    // Extract's work once the directory is known: the selection, or every row the listing shows.
    void extractShown(const std::string& directory);
    // Adds paths below the folder parent (CP950) with one progress over them all; returns the
    // items left out, for reportSkipped once the tree shows what went in.
    std::vector<CommandProgress::Skipped> addPaths(oru::TKiv& archive, const std::string& parent,
                                                   const std::vector<std::string>& paths);
    // One dialog listing the items Add left out, when there are any.
    void reportSkipped(const std::vector<CommandProgress::Skipped>& skipped);
    // Extracts the listing's selection below directory with one progress over it all.
    void extractSelection(oru::TKiv& archive, const std::string& directory);
    // Extracts rows (bookmarks of Catalog; viewRows: the same rows in its view, for the total).
    void extractRows(oru::TKiv& archive, const std::vector<oru::Bookmark>& rows, const std::vector<int>& viewRows,
                     const std::string& directory);
    // A new empty folder inside the window's private temporary folder (removed at exit).
    QString newPrivateFolder();
    // Opens a viewer window on catalog's current row (its first part when the file is large).
    void showInViewer(oru::TKiv& archive, oru::CatalogTable& catalog);

    std::vector<std::string> args_;
    std::unique_ptr<oru::TKiv> CurrentArchive_;
    std::string ArchiveFileName_;
    std::string damagedPath_;  // the archive that last failed to open as damaged (for Repair)
    CatalogModel* DataSource1;
    QString lastOpenName_, lastSaveName_;  // each dialog offers the name last chosen in it
    bool busy_ = false;                    // a command is running (progress pumps events)
    bool closeRequested_ = false;          // the window was closed while a command ran
    bool rebuilding_ = false;              // the tree is rebuilt after a failed command
    QFileSystemWatcher* paneWatcher_;      // the directory the file panes show
    QTimer* paneRefresh_;                  // gathers a burst of changes into one re-read
    QTimer* statusUpdate_;                 // counts the listing once after a burst of changes
    std::vector<QAction*> archiveActions_;  // menu commands that need an archive open
    QAction* plainArchives_ = nullptr;      // checked: Add writes plain rows (TKiv::SetPlain)
    std::unique_ptr<QTemporaryDir> privateFiles_;  // files opened or dragged from the listing (mode 0700)
    TOpenedEntries* openedEntries_;                // the copies opened with other applications
    int privateCount_ = 0;
};

}  // namespace oru::ui
