#include "ui/zipmain.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QLocale>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMimeDatabase>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>
#include <QTimer>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "archive/CatalogTree.h"
#include "catalog/ArchiveSchema.h"
#include "platform/CodePage.h"
#include "ui/Application.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "ui/ArchiveReport.h"
#include "ui/Browse.h"
#include "ui/CommandProgress.h"
#include "ui/CommandTexts.h"
#include "ui/CatalogModel.h"
#include "ui/DBGrid.h"
#include "ui/FilePanes.h"
#include "ui/ListingProxy.h"
#include "ui/Icons.h"
#include "ui/ProgressSink.h"
#include "ui/SelectDirDlg.h"

namespace oru::ui {

namespace {

constexpr int kNameRole = Qt::UserRole;
constexpr int kBusyRetryMs = 50;  // how soon a command or a close waiting for another is tried again  // a tree node's folder name, CP950 bytes

// One of the window's three splitters: 5-pixel handles, panes that cannot be collapsed, the second
// pane taking what the window gains, and the first sizes of both panes.
QSplitter* makeSplitter(const char* name, Qt::Orientation orientation, QWidget* first, QWidget* second,
                        int firstSize, int secondSize) {
    auto* splitter = new QSplitter(orientation);
    splitter->setObjectName(QString::fromLatin1(name));
    splitter->setHandleWidth(5);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(first);
    splitter->addWidget(second);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({firstSize, secondSize});
    return splitter;
}

// Marks the window busy for one command; a command started meanwhile (while a progress dialog
// pumps events) is ignored.
class BusyScope {
public:
    explicit BusyScope(bool& busy) : busy_(busy), entered_(!busy) { busy_ = true; }
    ~BusyScope() {
        if (entered_) busy_ = false;
    }
    bool entered() const { return entered_; }

private:
    bool& busy_;
    bool entered_;
};

// Hands a progress sink to the archive for one command.
class ProgressScope {
public:
    ProgressScope(oru::TKiv& archive, oru::Progress* progress) : archive_(archive) {
        archive_.SetProgress(progress);
    }
    ~ProgressScope() { archive_.SetProgress(nullptr); }

private:
    oru::TKiv& archive_;
};

// Suspends the catalog's notifications for one command, resuming also on failure.
class SuspendScope {
public:
    explicit SuspendScope(oru::CatalogTable& table) : table_(table) { table_.SuspendNotifications(); }
    ~SuspendScope() { table_.ResumeNotifications(); }

private:
    oru::CatalogTable& table_;
};

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

QString fromNative(const std::string& path) { return QString::fromStdString(path); }

// "<what, with %1 the items>, <bytes>, <seconds> 秒": the outcome of a command in the status bar.
QString outcomeText(const QString& what, const CommandProgress& progress) {
    return QStringLiteral("%1，%2，%3 秒")
        .arg(what.arg(progress.items()), QLocale().formattedDataSize(static_cast<qint64>(progress.bytes())),
             QLocale().toString(progress.seconds(), 'f', 1));
}

QString fileSizeText(const std::string& path) {
    return QLocale().formattedDataSize(QFileInfo(QString::fromStdString(path)).size());
}

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

// The content bytes of the given rows of catalog's view and of everything below the folders
// among them (folders linked by name, each name counted once): the total of an Extract.
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
            if (all.IntegerAt(row, "FileType") != 0) total += static_cast<uint64_t>(std::max<int64_t>(0, all.IntegerAt(row, "OriginalSize")));
        }
        const oru::CatalogTable& all;
        uint64_t total = 0;
    } sum(all);
    for (int row : rows) {
        if (catalog.IntegerAt(row, "FileType") == 0) {
            tree.walkBelow(catalog.TextAt(row, "FileName"), {}, sum);
        } else {
            sum.total += static_cast<uint64_t>(std::max<int64_t>(0, catalog.IntegerAt(row, "OriginalSize")));
        }
    }
    return sum.total;
}
std::string toNative(const QString& path) { return path.toStdString(); }

}  // namespace

TMainFrm::TMainFrm(std::vector<std::string> args, QWidget* parent)
    : QMainWindow(parent), args_(std::move(args)) {
    setObjectName(QStringLiteral("MainFrm"));
    setWindowTitle(windowTitleFor({}));
    DataSource1 = new CatalogModel(this);
    buildControls();

    askSavePath = [this] { return runFileDialog(true); };
    askOpenPath = [this] { return runFileDialog(false); };
    askDirectory = [this] { return runFolderChooser(); };
    askYesNo = [this](const QString& question) {
        return QMessageBox::question(this, QStringLiteral("WinOru"), question,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    askConflict = [this](const std::string& path) { return TConflictDlg::ask(this, path); };
    makeProgress = [this](const QString& title, bool cancellable) -> std::unique_ptr<oru::Progress> {
        return std::make_unique<TProgressSink>(this, title, cancellable);
    };
    tell = [this](const QString& text) { QMessageBox::information(this, QStringLiteral("WinOru"), text); };
    showReport = [this](const QString& title, const QString& summary, const QStringList& items) {
        showListDialog(this, title, summary, items);
    };
    openExternally = [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
    askExisting = [this](const std::string& path) { return askExistingItem(this, path); };
    showRenamed = [this](const auto& renames) { showRenames(this, renames); };
}

TMainFrm::~TMainFrm() { closeArchive(); }

// ---- layout

QToolButton* TMainFrm::addButton(const char* name, const char* hint, int image,
                                 void (TMainFrm::*handler)()) {
    auto* button = new QToolButton(ToolBar1);
    button->setObjectName(QString::fromLatin1(name));
    button->setIcon(icons::toolbarImage(image));
    button->setToolTip(QString::fromUtf8(hint));
    button->setAutoRaise(true);
    button->setFixedSize(23, 22);
    button->setIconSize(QSize(16, 16));
    ToolBar1->addWidget(button);
    connect(button, &QToolButton::clicked, this, [this, handler] { runWhenFree([this, handler] { (this->*handler)(); }); });
    return button;
}

void TMainFrm::buildControls() {
    move(216, 159);
    resize(661, 456);

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setFixedHeight(29);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->toggleViewAction()->setVisible(false);
    addToolBar(Qt::TopToolBarArea, ToolBar1);
    BtnNewFile = addButton("BtnNewFile", "新壓縮檔", 0, &TMainFrm::BtnNewFileClick);
    BtnOpenFile = addButton("BtnOpenFile", "開啟壓縮檔", 2, &TMainFrm::BtnOpenFileClick);
    BtnAddFile = addButton("BtnAddFile", "加入壓縮", 4, &TMainFrm::BtnAddFileClick);
    BtnDelete = addButton("BtnDelete", "刪除", 6, &TMainFrm::BtnDeleteClick);
    BtnBrowse = addButton("BtnBrowse", "檢視", 8, &TMainFrm::BtnBrowseClick);
    BtnExtract = addButton("BtnExtract", "解壓縮到", 14, &TMainFrm::BtnExtractClick);
    BtnBuildExe = addButton("BtnBuildExe", "重整檔案", 10, &TMainFrm::BtnBuildExeClick);
    ToolButton1 = addButton("ToolButton1", "離開", 16, &TMainFrm::ToolButton1Click);

    // Upper pane: drive box and directory pane on the left, file pane on the right.
    Panel1 = new QWidget;
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel2 = new QWidget;
    Panel2->setObjectName(QStringLiteral("Panel2"));
    DriveComboBox1 = new TDriveComboBox(Panel2);
    DriveComboBox1->setObjectName(QStringLiteral("DriveComboBox1"));
    DirectoryListBox1 = new TDirectoryListBox(Panel2);
    DirectoryListBox1->setObjectName(QStringLiteral("DirectoryListBox1"));
    auto* left = new QVBoxLayout(Panel2);
    left->setContentsMargins(2, 4, 2, 0);
    left->setSpacing(4);
    left->addWidget(DriveComboBox1);
    left->addWidget(DirectoryListBox1, 1);
    FileListBox1 = new TFileListBox;
    FileListBox1->setObjectName(QStringLiteral("FileListBox1"));
    Splitter1 = makeSplitter("Splitter1", Qt::Horizontal, Panel2, FileListBox1, 245, 409);
    auto* upper = new QHBoxLayout(Panel1);
    upper->setContentsMargins(0, 0, 0, 0);
    upper->addWidget(Splitter1);

    // Lower pane: one tab page holding the archive frame with tree and listing.
    PageControl1 = new QTabWidget;
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    PageControl1->addTab(TabSheet1, QStringLiteral("檔案清單"));
    GroupBox1 = new QGroupBox(QStringLiteral("壓縮檔"), TabSheet1);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto* sheet = new QVBoxLayout(TabSheet1);
    sheet->setContentsMargins(2, 2, 2, 2);
    sheet->addWidget(GroupBox1);
    tv = new QTreeWidget;
    tv->setObjectName(QStringLiteral("tv"));
    tv->setHeaderHidden(true);
    tv->setIndentation(19);
    tv->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tv->setSortingEnabled(false);
    DBGrid1 = new TDBGrid;
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setCatalogModel(DataSource1);
    // Above the listing: the find field, narrowing the rows shown by name as the user types.
    auto* listingPane = new QWidget;
    FindEdit = new QLineEdit;
    FindEdit->setObjectName(QStringLiteral("FindEdit"));
    FindEdit->setPlaceholderText(QStringLiteral("尋找名稱"));
    FindEdit->setClearButtonEnabled(true);
    WholeArchive = new QCheckBox(QStringLiteral("整個壓縮檔"));
    WholeArchive->setObjectName(QStringLiteral("WholeArchive"));
    auto* findRow = new QHBoxLayout;
    findRow->setContentsMargins(0, 0, 0, 0);
    findRow->addWidget(FindEdit, 1);
    findRow->addWidget(WholeArchive);
    auto* listingLayout = new QVBoxLayout(listingPane);
    listingLayout->setContentsMargins(0, 0, 0, 0);
    listingLayout->setSpacing(2);
    listingLayout->addLayout(findRow);
    listingLayout->addWidget(DBGrid1, 1);
    connect(FindEdit, &QLineEdit::textChanged, this, [this] { runCommand([this] { applyFind(); }); });
    connect(WholeArchive, &QCheckBox::toggled, this, [this] { runCommand([this] { applyFind(); }); });
    connect(FindEdit, &QLineEdit::returnPressed, this, [this] {
        // Enter in the field: into the results.
        DBGrid1->setFocus();
        if (DBGrid1->model()->rowCount() > 0) DBGrid1->clickRow(0, false);
    });
    Splitter2 = makeSplitter("Splitter2", Qt::Horizontal, tv, listingPane, 241, 403);
    auto* frame = new QVBoxLayout(GroupBox1);
    frame->setContentsMargins(4, 4, 4, 4);
    frame->addWidget(Splitter2);

    Splitter3 = makeSplitter("Splitter3", Qt::Vertical, Panel1, PageControl1, 199, 204);
    setCentralWidget(Splitter3);
    buildMenus();
    // Tab goes from pane to pane, top to bottom.
    setTabOrder(DriveComboBox1, DirectoryListBox1);
    setTabOrder(DirectoryListBox1, FileListBox1);
    setTabOrder(FileListBox1, tv);
    setTabOrder(tv, DBGrid1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(StatusBar1);
    FolderStatus = new QLabel(StatusBar1);
    FolderStatus->setObjectName(QStringLiteral("FolderStatus"));
    SelectionStatus = new QLabel(StatusBar1);
    SelectionStatus->setObjectName(QStringLiteral("SelectionStatus"));
    OutcomeStatus = new QLabel(StatusBar1);
    OutcomeStatus->setObjectName(QStringLiteral("OutcomeStatus"));
    StatusBar1->addWidget(FolderStatus);
    StatusBar1->addWidget(SelectionStatus);
    StatusBar1->addPermanentWidget(OutcomeStatus);
    // The counts follow the listing; a burst of changes is counted once.
    statusUpdate_ = new QTimer(this);
    statusUpdate_->setSingleShot(true);
    statusUpdate_->setInterval(0);
    connect(statusUpdate_, &QTimer::timeout, this, &TMainFrm::updateStatus);
    QAbstractItemModel* shown = DBGrid1->model();
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(shown, signal, statusUpdate_, qOverload<>(&QTimer::start));
    connect(shown, &QAbstractItemModel::modelReset, statusUpdate_, qOverload<>(&QTimer::start));
    connect(shown, &QAbstractItemModel::dataChanged, statusUpdate_, qOverload<>(&QTimer::start));
    connect(DBGrid1, &TDBGrid::bookmarksChanged, statusUpdate_, qOverload<>(&QTimer::start));
    connect(DBGrid1, &TDBGrid::rowActivated, this, [this](int row) { runCommand([this, row] { openRow(row); }); });
    connect(DBGrid1, &TDBGrid::parentRequested, this, &TMainFrm::showParentFolder);
    connect(DBGrid1, &TDBGrid::pathsDropped, this,
            [this](const QStringList& paths) { runCommand([this, paths] { addDroppedPaths(paths); }); });
    DBGrid1->makeDragData = [this] { return dragData(); };

    // The panes are wired together; each change of directory is the working directory.
    connect(DriveComboBox1, &TDriveComboBox::driveChosen, DirectoryListBox1,
            &TDirectoryListBox::setDirectory);
    connect(DirectoryListBox1, &TDirectoryListBox::directoryChanged, this, [this](const QString& dir) {
        FileListBox1->setDirectory(dir);
        DriveComboBox1->followDirectory(dir);
        watchFilePanes();
    });
    // Changes on the disk in the directory shown reach both panes, a burst of them as one re-read.
    paneWatcher_ = new QFileSystemWatcher(this);
    paneRefresh_ = new QTimer(this);
    paneRefresh_->setSingleShot(true);
    paneRefresh_->setInterval(200);
    connect(paneWatcher_, &QFileSystemWatcher::directoryChanged, paneRefresh_, qOverload<>(&QTimer::start));
    connect(paneRefresh_, &QTimer::timeout, this, &TMainFrm::refreshFilePanes);
    DirectoryListBox1->setDirectory(QDir::currentPath());

    connect(tv, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { runCommand([this, current] { tvChange(current); }); });
}

QAction* TMainFrm::addCommand(QMenu* menu, const QString& text, const QKeySequence& key,
                               void (TMainFrm::*handler)(), QWidget* scope) {
    QAction* action = menu->addAction(text);
    action->setShortcut(key);
    if (scope) {
        // Keys that mean something else elsewhere (Del in the file pane) act only here.
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        scope->addAction(action);
    }
    connect(action, &QAction::triggered, this, [this, handler] { runWhenFree([this, handler] { (this->*handler)(); }); });
    return action;
}

void TMainFrm::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* file = bar->addMenu(QStringLiteral("檔案(&F)"));
    addCommand(file, QStringLiteral("新壓縮檔(&N)..."), QKeySequence::New, &TMainFrm::BtnNewFileClick);
    addCommand(file, QStringLiteral("開啟壓縮檔(&O)..."), QKeySequence::Open, &TMainFrm::BtnOpenFileClick);
    RecentMenu = file->addMenu(QStringLiteral("最近開啟的壓縮檔(&R)"));
    RecentMenu->setObjectName(QStringLiteral("RecentMenu"));
    connect(RecentMenu, &QMenu::aboutToShow, this, &TMainFrm::fillRecentMenu);
    fillRecentMenu();
    file->addSeparator();
    addCommand(file, QStringLiteral("內容(&P)..."), QKeySequence(Qt::ALT | Qt::Key_Return), &TMainFrm::showProperties);
    file->addSeparator();
    addCommand(file, QStringLiteral("離開(&X)"), QKeySequence(Qt::CTRL | Qt::Key_Q), &TMainFrm::ToolButton1Click);

    QMenu* commands = bar->addMenu(QStringLiteral("動作(&A)"));
    addCommand(commands, QStringLiteral("加入壓縮(&A)"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A),
               &TMainFrm::BtnAddFileClick);
    addCommand(commands, QStringLiteral("解壓縮到(&E)..."), QKeySequence(Qt::CTRL | Qt::Key_E), &TMainFrm::BtnExtractClick);
    addCommand(commands, QStringLiteral("刪除(&D)"), QKeySequence(Qt::Key_Delete), &TMainFrm::BtnDeleteClick, DBGrid1);
    addCommand(commands, QStringLiteral("檢視(&V)"), QKeySequence(Qt::Key_F3), &TMainFrm::BtnBrowseClick);
    addCommand(commands, QStringLiteral("測試(&T)"), QKeySequence(Qt::CTRL | Qt::Key_T), &TMainFrm::testArchive);
    addCommand(commands, QStringLiteral("重整檔案(&B)"), QKeySequence(), &TMainFrm::BtnBuildExeClick);

    QMenu* view = bar->addMenu(QStringLiteral("檢視(&V)"));
    addCommand(view, QStringLiteral("尋找(&F)"), QKeySequence::Find, &TMainFrm::startFind);
    addCommand(view, QStringLiteral("重新整理(&R)"), QKeySequence(Qt::Key_F5), &TMainFrm::refreshFilePanes);
    addCommand(view, QStringLiteral("全選(&S)"), QKeySequence::SelectAll, &TMainFrm::selectAllRows, DBGrid1);
    addCommand(view, QStringLiteral("上一層資料夾(&U)"), QKeySequence(Qt::ALT | Qt::Key_Up), &TMainFrm::showParentFolder,
               GroupBox1);
}

void TMainFrm::fillRecentMenu() {
    RecentMenu->clear();
    const QStringList recent = recentArchives();
    for (int i = 0; i < recent.size(); ++i) {
        const QString path = recent[i];
        QAction* action = RecentMenu->addAction(QStringLiteral("&%1 %2").arg((i + 1) % 10).arg(path));
        connect(action, &QAction::triggered, this,
                [this, path] { runCommand([this, path] { openRecent(toNative(path)); }); });
    }
    RecentMenu->setEnabled(!recent.isEmpty());
}

void TMainFrm::selectAllRows() { DBGrid1->SelectAll(); }

// Hands a handler's failure to the central handler right where the toolkit called it, so that
// no exception unwinds through the toolkit's own code (which does not clean up on the way).
bool TMainFrm::runCommand(const std::function<void()>& command) {
    TApplication* app = TApplication::instance();
    if (!app) {
        command();
        return true;
    }
    if (app->runCommand(command)) return true;
    // A command that failed part-way may have changed the catalog (items added before the
    // failure, a catalog read again from the file): show what is there now.
    if (CurrentArchive_ && !rebuilding_) {
        rebuilding_ = true;  // a failure of the rebuild itself is shown once, not retried
        app->runCommand([this] { rebuildTreeKeepingFolder(); });
        rebuilding_ = false;
    }
    return false;
}

void TMainFrm::runWhenFree(const std::function<void()>& command) {
    if (!busy_) {
        runCommand(command);
        return;
    }
    // A click that reaches the window while a command runs is kept, not dropped: the command
    // runs once the one before it has ended.
    QTimer::singleShot(kBusyRetryMs, this, [this, command] { runWhenFree(command); });
}

void TMainFrm::closeEvent(QCloseEvent* event) {
    if (!busy_) {
        QMainWindow::closeEvent(event);
        return;
    }
    // The running command sees the request at its next check (within a megabyte of the file it
    // works on) and leaves the archive as a cancel does; the window closes after it.
    closeRequested_ = true;
    event->ignore();
    QTimer::singleShot(kBusyRetryMs, this, [this] { close(); });
}

QString TMainFrm::windowTitleFor(const std::string& archivePath, bool readOnly) {
    const QString caption = QStringLiteral("Windows Oru File Shell");
    if (archivePath.empty()) return caption;
    QString name = QFileInfo(fromNative(archivePath)).fileName();
    if (readOnly) name += QStringLiteral(" [唯讀]");
    return name + QStringLiteral(" — ") + caption;
}

void TMainFrm::updateTitle() {
    setWindowTitle(CurrentArchive_ ? windowTitleFor(ArchiveFileName_, CurrentArchive_->ReadOnly()) : windowTitleFor({}));
}

// ---- state

void TMainFrm::closeArchive() {
    DataSource1->bind(nullptr);  // the listing must let go before the catalog goes
    CurrentArchive_.reset();
    ArchiveFileName_.clear();
    tv->clear();  // no node may stand for an archive that is gone
    updateTitle();
}

oru::TKiv& TMainFrm::requireArchive() {
    if (!CurrentArchive_) throw oru::Error(kNoArchive);
    return *CurrentArchive_;
}

// ---- dialogs

std::optional<std::string> TMainFrm::runFileDialog(bool save) {
    QString& last = save ? lastSaveName_ : lastOpenName_;
    QFileDialog dialog(this, save ? QStringLiteral("新壓縮檔") : QStringLiteral("開啟壓縮檔"));
    dialog.setObjectName(save ? QStringLiteral("SaveDialog1") : QStringLiteral("OpenDialog1"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);  // Open reports a missing file itself
    dialog.setNameFilter(QStringLiteral("壓縮檔 (*.oru)"));
    dialog.setDefaultSuffix(QStringLiteral("oru"));
    if (save) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!last.isEmpty()) dialog.selectFile(last);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    last = dialog.selectedFiles().front();
    return toNative(last);
}

std::optional<std::string> TMainFrm::runFolderChooser() {
    TSelectDirDlg dialog(this);
    dialog.askCreate = askYesNo;
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return toNative(dialog.directory());
}

// ---- start-up and the commands

void TMainFrm::FormCreate() {
    ArchiveFileName_.clear();
    if (args_.empty()) return;
    openArchive(args_.back());
}

void TMainFrm::openArchive(const std::string& path) {
    CurrentArchive_ = oru::TKiv::OpenExisting(path, oru::TKiv::Access::Shared);
    ArchiveFileName_ = path;
    updateTitle();
    rememberRecent(path);
    BuildFolderTree(CurrentArchive_->Catalog(), nullptr, "");
}

void TMainFrm::openRecent(const std::string& path) {
    BusyScope busy(busy_);
    if (!busy.entered()) return;
    closeArchive();
    openArchive(path);
}

QStringList TMainFrm::recentArchives() {
    return QSettings().value(QStringLiteral("recentArchives")).toStringList();
}

void TMainFrm::rememberRecent(const std::string& path) {
    QStringList recent = recentArchives();
    const QString full = QFileInfo(fromNative(path)).absoluteFilePath();
    recent.removeAll(full);
    recent.prepend(full);
    while (recent.size() > kRecentCount) recent.removeLast();
    QSettings().setValue(QStringLiteral("recentArchives"), recent);
}

void TMainFrm::BtnNewFileClick() {
    BusyScope busy(busy_);
    if (!busy.entered()) return;
    closeArchive();  // before the dialog: cancelling leaves no archive open
    const std::optional<std::string> path = askSavePath();
    if (!path) return;
    // An archive there is replaced only when the user says so; any other file is refused by
    // CreateNew and stays as it is.
    if (oru::TKiv::IsReplaceable(*path) && !askYesNo(replaceArchiveQuestion(fromNative(*path)))) return;
    CurrentArchive_ = oru::TKiv::CreateNew(*path);
    ArchiveFileName_ = *path;
    updateTitle();
    rememberRecent(*path);
    tv->clear();
    tv->setCurrentItem(addNode(nullptr, {}));
}

void TMainFrm::BtnOpenFileClick() {
    BusyScope busy(busy_);
    if (!busy.entered()) return;
    closeArchive();
    const std::optional<std::string> path = askOpenPath();
    if (!path) return;
    openArchive(*path);
}

void TMainFrm::ToolButton1Click() { close(); }

void TMainFrm::BtnAddFileClick() {
    BusyScope busy(busy_);
    if (!busy.entered()) return;
    if (FileListBox1->selectedItems().isEmpty()) return;  // nothing at all, not even a rebuild
    oru::TKiv& archive = requireArchive();
    const oru::TKiv::Writing writing(archive);  // a read-only archive says why here
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
    if (!skipped.empty()) showReport(QStringLiteral("加入壓縮"), skippedSummary(skipped.size()), skippedLines(skipped));
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
    const auto plan = planAdd(paths, archive.AddedBefore(parent, paths), askExisting);
    if (!plan) return {};
    CommandProgress progress(makeProgress(QStringLiteral("加入壓縮"), true), bytesOnDisk(paths));
    progress.stopWhen(closeRequested_);
    RenameRecorder renames(&progress);
    ProgressScope reporting(archive, &renames);
    for (size_t i = 0; i < plan->size(); ++i) {
        if (i > 0) progress.nextCall();
        archive.AddPath(parent, (*plan)[i].path, (*plan)[i].mode);
    }
    setOutcome(outcomeText(QStringLiteral("已加入 %1 個項目"), progress));
    if (!renames.renames().empty()) showRenamed(renames.renames());
    return progress.skippedItems();
}

void TMainFrm::BtnExtractClick() {
    BusyScope busy(busy_);
    if (!busy.entered()) return;
    oru::TKiv& archive = requireArchive();
    const std::optional<std::string> directory = askDirectory();
    if (!directory) return;
    if (!oru::fs::isDirectory(*directory) && !oru::fs::forceDirectories(*directory))
        throw oru::Error(oru::msg::kCreateDirError);
    oru::CatalogTable& catalog = archive.Catalog();
    if (DBGrid1->SelectedCount() > 0) {
        extractSelection(archive, *directory);
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
        extractRows(archive, rows, listed, *directory);
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
    CommandProgress progress(makeProgress(QStringLiteral("解壓縮到"), true), contentBytes(catalog, viewRows, archive.ArchivePath()));
    progress.stopWhen(closeRequested_);
    ProgressScope reporting(archive, &progress);
    // Files in the way are put to the user; entries that fail are listed in one message at the end.
    WindowConflicts conflicts(askConflict);
    archive.SetConflictHandler(&conflicts);
    struct Answering {
        oru::TKiv& archive;
        ~Answering() { archive.SetConflictHandler(nullptr); }
    } answering{archive};
    archive.ExtractEntries(catalog, rows, directory);
    setOutcome(outcomeText(QStringLiteral("已解壓縮 %1 個檔案"), progress));
}

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
    if (!privateFiles_->isValid()) throw oru::Error(oru::msg::kCreateDirError);
    const QString folder = privateFiles_->filePath(QString::number(++privateCount_));
    if (!QDir().mkpath(folder)) throw oru::Error(oru::msg::kCreateDirError);
    return folder;
}

void TMainFrm::BtnDeleteClick() {
    BusyScope busy(busy_);
    if (!busy.entered()) return;
    oru::TKiv& archive = requireArchive();
    const oru::TKiv::Writing writing(archive);  // a read-only archive says why here
    oru::CatalogTable& catalog = archive.Catalog();
    // Only rows the user sees highlighted go, and only once the user has said yes to their names.
    if (DBGrid1->SelectedCount() == 0) {
        tell(nothingToDeleteHint());
        return;
    }
    std::vector<DeleteItem> items;
    for (const int row : DBGrid1->selectedModelRows())
        items.push_back({QString::fromStdString(oru::cp950::toUtf8(catalog.TextAt(row, "FileName"))),
                         catalog.IntegerAt(row, "FileType") == 0});
    if (!askYesNo(deleteQuestion(items))) return;
    {
        SuspendScope quiet(catalog);  // one redraw at the end, also after a failure
        const std::unique_ptr<oru::Progress> progress = makeProgress(QStringLiteral("刪除"), false);
        ProgressScope reporting(archive, progress.get());
        std::vector<oru::Bookmark> rows;
        for (int i = DBGrid1->SelectedCount() - 1; i >= 0; --i) rows.push_back(DBGrid1->SelectedBookmark(i));
        archive.DeleteEntries(catalog, rows);
        catalog.MergeChanges();
        DBGrid1->ClearSelection();
        archive.Compact();
    }
    rebuildTreeKeepingFolder();  // the nodes of deleted folders go
    setOutcome(QStringLiteral("已刪除並重整，檔案大小 %1").arg(fileSizeText(archive.ArchivePath())));
}

void TMainFrm::BtnBuildExeClick() {
    BusyScope busy(busy_);
    if (!busy.entered()) return;
    oru::TKiv& archive = requireArchive();
    const oru::TKiv::Writing writing(archive);  // a read-only archive says why here
    const QString before = fileSizeText(archive.ArchivePath());
    const std::unique_ptr<oru::Progress> progress = makeProgress(QStringLiteral("重整檔案"), false);
    ProgressScope reporting(archive, progress.get());
    archive.Compact();
    setOutcome(QStringLiteral("已重整檔案，%1 → %2").arg(before, fileSizeText(archive.ArchivePath())));
}

void TMainFrm::testArchive() {
    BusyScope busy(busy_);
    if (!busy.entered()) return;
    oru::TKiv& archive = requireArchive();
    const ArchiveProperties figures = propertiesOf(archive);
    CommandProgress progress(makeProgress(QStringLiteral("測試"), true), static_cast<uint64_t>(figures.originalBytes));
    progress.stopWhen(closeRequested_);
    ProgressScope reporting(archive, &progress);  // Cancel is also asked inside a big entry
    const TestResult result = testEntries(archive, progress);
    const QString summary = result.damaged.isEmpty()
                                ? QStringLiteral("已測試 %1 個檔案，沒有損壞。").arg(result.checked)
                                : QStringLiteral("已測試 %1 個檔案，%2 個損壞：").arg(result.checked).arg(result.damaged.size());
    setOutcome(summary);
    showReport(QStringLiteral("測試"), summary, result.damaged);
}

void TMainFrm::showProperties() {
    oru::TKiv& archive = requireArchive();
    auto* dialog = new TPropertiesDlg(this, propertyLines(propertiesOf(archive), QLocale()));
    dialog->show();
}

void TMainFrm::BtnBrowseClick() {
    BusyScope busy(busy_);
    if (!busy.entered()) return;
    oru::TKiv& archive = requireArchive();
    oru::CatalogTable& catalog = archive.Catalog();
    if (catalog.IsEmpty()) return;
    showInViewer(archive, catalog);
}

void TMainFrm::showInViewer(oru::TKiv& archive, oru::CatalogTable& catalog) {
    // A folder row fails here, before any window exists.
    const HeadOfEntry head = readHead(archive, catalog, kViewLimit);
    const std::string name = oru::cp950::toUtf8(catalog.GetText(oru::schema::kFileName));
    auto* viewer = new TfmBrowse(this);
    viewer->setWindowTitle(QString::fromStdString(name));
    if (isHtmlName(name))
        viewer->writeDocument(browseText(head.bytes));
    else
        viewer->writePlainText(plainText(head.bytes, head.cut));
    if (head.cut) {
        const QLocale locale;
        viewer->setNote(QStringLiteral("檔案太大，只顯示前 %1（全檔 %2）")
                            .arg(locale.formattedDataSize(static_cast<qint64>(head.bytes.size())),
                                 locale.formattedDataSize(catalog.GetInteger("OriginalSize"))));
    }
    viewer->show();
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

// ---- folder tree and listing

QTreeWidgetItem* TMainFrm::addNode(QTreeWidgetItem* parent, const std::string& name) {
    QTreeWidgetItem* node;
    if (parent) {
        node = new QTreeWidgetItem(parent);
        node->setText(0, QString::fromStdString(oru::cp950::toUtf8(name)));
    } else {
        node = new QTreeWidgetItem(tv);
        node->setText(0, fromNative(ArchiveFileName_));
    }
    node->setData(0, kNameRole, QByteArray::fromStdString(name));
    node->setIcon(0, icons::folder());
    return node;
}

std::string TMainFrm::folderNameOf(const QTreeWidgetItem* node) const {
    if (!node || node == tv->topLevelItem(0)) return {};  // the root is the first node
    return node->data(0, kNameRole).toByteArray().toStdString();
}

void TMainFrm::BuildFolderTree(oru::CatalogTable& table, QTreeWidgetItem* node, const std::string& name) {
    if (!node) {
        tv->clear();
        QTreeWidgetItem* root = addNode(nullptr, {});
        // The listing is bound also when the walk fails on a hostile catalog (before it adds a
        // node): the tree then shows the root alone, and the listing the top level.
        struct Bind {
            TMainFrm& w;
            oru::CatalogTable& table;
            QTreeWidgetItem* root;
            ~Bind() {
                table.SetOrdering(oru::schema::kListingOrdering);
                w.DataSource1->bind(&table);
                w.DBGrid1->ClearSelection();
                w.tv->expandItem(root);
                w.tv->setCurrentItem(root);  // raises tvChange, which shows the top level
            }
        } bind{*this, table, root};
        BuildFolderTree(table, root, name);
        return;
    }

    // One node per folder path, depth first in the table's ordering. A folder whose name is
    // already on the path gets its node but is not entered again, so cycles of names end.
    oru::CatalogTable all;
    all.CloneFrom(table);
    const oru::CatalogTree folders(all, ArchiveFileName_);
    struct Nodes : oru::CatalogTree::Visitor {
        Nodes(TMainFrm& window, const oru::CatalogTable& rows, QTreeWidgetItem* top) : w(window), all(rows), open{top} {}
        TMainFrm& w;
        const oru::CatalogTable& all;
        std::vector<QTreeWidgetItem*> open;  // the node of each folder on the path
        void visit(int row, bool entered) override {
            QTreeWidgetItem* child = w.addNode(open.back(), all.TextAt(row, oru::schema::kFileName));
            if (entered) open.push_back(child);
        }
        void leave(int) override { open.pop_back(); }
    } nodes(*this, all, node);
    oru::CatalogTree::Options options;
    options.foldersOnly = true;
    folders.walkBelow(name, options, nodes);
}

void TMainFrm::rebuildTreeKeepingFolder() {
    if (!CurrentArchive_) return;
    std::vector<QByteArray> path;  // folder names from the root down to the node shown
    for (const QTreeWidgetItem* n = tv->currentItem(); n && n->parent(); n = n->parent())
        path.insert(path.begin(), n->data(0, kNameRole).toByteArray());
    BuildFolderTree(CurrentArchive_->Catalog(), nullptr, "");
    QTreeWidgetItem* shown = tv->topLevelItem(0);
    for (const QByteArray& name : path) {
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < shown->childCount() && !next; ++i)
            if (shown->child(i)->data(0, kNameRole).toByteArray() == name) next = shown->child(i);
        if (!next) break;
        shown = next;
    }
    if (shown != tv->currentItem()) {
        tv->setCurrentItem(shown);
        tv->scrollToItem(shown);  // opens the nodes above it
    }
}

void TMainFrm::showParentFolder() {
    const QTreeWidgetItem* node = tv->currentItem();
    if (node && node->parent()) tv->setCurrentItem(node->parent());
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
        const QByteArray name = QByteArray::fromStdString(catalog.GetText("FileName"));
        QTreeWidgetItem* node = tv->currentItem();
        for (int i = 0; node && i < node->childCount(); ++i)
            if (node->child(i)->data(0, kNameRole).toByteArray() == name) return tv->setCurrentItem(node->child(i));
        return;
    }
    const std::string name = oru::cp950::toUtf8(catalog.GetText("FileName"));
    const HeadOfEntry head = readHead(archive, catalog, 64 << 10);
    const QMimeType type = QMimeDatabase().mimeTypeForFileNameAndData(
        QString::fromStdString(name), QByteArray::fromStdString(head.bytes));
    if (isHtmlName(name) || type.inherits(QStringLiteral("text/plain"))) return showInViewer(archive, catalog);

    // Anything else goes to the desktop's application for its type, from a private folder.
    const QString folder = newPrivateFolder();
    archive.ExtractEntry(catalog, toNative(folder));
    const QStringList written = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    if (!written.isEmpty()) openExternally(QDir(folder).filePath(written.front()));
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
    FolderStatus->setText(DataSource1->isBound()
                              ? QStringLiteral("%1 個資料夾，%2 個檔案，%3")
                                    .arg(folders).arg(files).arg(locale.formattedDataSize(bytes))
                              : QString());
    int64_t selectedBytes = 0;
    for (int row : DBGrid1->selectedModelRows()) selectedBytes += DataSource1->originalSize(row);
    SelectionStatus->setText(DBGrid1->SelectedCount() > 0
                                 ? QStringLiteral("已選取 %1 項，%2")
                                       .arg(DBGrid1->SelectedCount())
                                       .arg(locale.formattedDataSize(selectedBytes))
                                 : QString());
}

void TMainFrm::ShowFolder(oru::CatalogTable& table, const std::string& name) {
    table.SetFiltered(false);
    table.SetFilterText(oru::CatalogTable::parentFilter(name));
    table.SetFiltered(true);
}

void TMainFrm::tvChange(QTreeWidgetItem* node) {
    if (!node || !CurrentArchive_) return;  // nodes of a closed archive show nothing
    if (WholeArchive->isChecked()) {
        // Choosing a folder ends the search of the whole archive.
        const QSignalBlocker quiet(WholeArchive);
        WholeArchive->setChecked(false);
        DataSource1->setFolderPaths({});
    }
    ShowFolder(CurrentArchive_->Catalog(), folderNameOf(node));
    DBGrid1->ClearSelection();  // commands never meet bookmarks of hidden rows
}

void TMainFrm::startFind() {
    FindEdit->setFocus(Qt::ShortcutFocusReason);
    FindEdit->selectAll();
}

void TMainFrm::applyFind() {
    DBGrid1->proxy()->setNameFilter(FindEdit->text());
    const bool whole = WholeArchive->isChecked() && !FindEdit->text().isEmpty();
    if (!CurrentArchive_ || whole == DataSource1->showsFolderPaths()) return;
    oru::CatalogTable& catalog = CurrentArchive_->Catalog();
    if (whole) {
        // Every row of the archive, each named with the path of its folder (as the tree has it).
        QHash<QByteArray, QString> paths;
        std::vector<std::pair<QTreeWidgetItem*, QString>> stack{{tv->topLevelItem(0), QString()}};
        while (!stack.empty()) {
            auto [node, path] = stack.back();
            stack.pop_back();
            for (int i = 0; node && i < node->childCount(); ++i) {
                QTreeWidgetItem* child = node->child(i);
                const QByteArray name = child->data(0, kNameRole).toByteArray();
                const QString childPath = path.isEmpty() ? child->text(0) : path + u'/' + child->text(0);
                if (!paths.contains(name)) paths.insert(name, childPath);
                stack.push_back({child, childPath});
            }
        }
        DataSource1->setFolderPaths(paths);
        catalog.SetFiltered(false);
    } else {
        DataSource1->setFolderPaths({});
        ShowFolder(catalog, folderNameOf(tv->currentItem()));
    }
    DBGrid1->ClearSelection();
}

void TMainFrm::showInItsFolder(int row) {
    const QByteArray parent = QByteArray::fromStdString(DataSource1->parentName(row));
    const QString name = DataSource1->fileName(row);
    QTreeWidgetItem* folder = tv->topLevelItem(0);
    if (!parent.isEmpty()) {
        const QList<QTreeWidgetItem*> all = tv->findItems(QStringLiteral("*"), Qt::MatchWildcard | Qt::MatchRecursive);
        auto it = std::find_if(all.begin(), all.end(), [&](const QTreeWidgetItem* n) {
            return n->parent() && n->data(0, kNameRole).toByteArray() == parent;
        });
        if (it == all.end()) return;
        folder = *it;
    }
    FindEdit->clear();
    tv->setCurrentItem(folder);  // ends the search of the whole archive
    tv->scrollToItem(folder);
    for (int r = 0; r < DataSource1->rowCount(); ++r)
        if (DataSource1->fileName(r) == name) return DBGrid1->clickRow(DBGrid1->shownRow(r), false);
}

}  // namespace oru::ui
