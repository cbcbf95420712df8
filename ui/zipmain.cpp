// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: its controls laid out and wired together.

#include "ui/zipmain.h"

#include <QCheckBox>
#include <QDir>
#include <QFileSystemWatcher>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QSettings>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/CatalogModel.h"
#include "ui/DBGrid.h"
#include "ui/FilePanes.h"
#include "ui/Icons.h"
#include "ui/zipmainParts.h"

namespace oru::ui {

using namespace mainframe;

namespace {

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

}  // namespace

TMainFrm::TMainFrm(std::vector<std::string> args, QWidget* parent)
    : QMainWindow(parent), args_(std::move(args)) {
    setObjectName(QStringLiteral("MainFrm"));
    setWindowTitle(windowTitleFor({}));
    DataSource1 = new CatalogModel(this);
    openedEntries_ = new TOpenedEntries(this);
    openedEntries_->changed = [this](TOpenedEntries::Entry& entry) { return updateOpenedEntry(entry); };
    buildControls();
    restoreLayout();
}

TMainFrm::~TMainFrm() { closeArchive(); }

// ---- size and layout remembered between sessions

namespace {
const QString kGeometryKey = QStringLiteral("window/geometry");
const QString kSplittersKey = QStringLiteral("window/splitters");
const QString kColumnsKey = QStringLiteral("window/listingColumns");
}  // namespace

void TMainFrm::restoreLayout() {
    const QSettings settings;
    if (!restoreGeometry(settings.value(kGeometryKey).toByteArray())) {
        // The first time: two thirds of the screen, in its middle.
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            const QSize size = (area.size() * 2 / 3).expandedTo(minimumSizeHint());
            resize(size);
            move(area.center() - QPoint(size.width() / 2, size.height() / 2));
        }
    }
    const QList<QVariant> splitters = settings.value(kSplittersKey).toList();
    const QList<QSplitter*> own{Splitter1, Splitter2, Splitter3};
    for (qsizetype i = 0; i < splitters.size() && i < own.size(); ++i) own[i]->restoreState(splitters[i].toByteArray());
    DBGrid1->horizontalHeader()->restoreState(settings.value(kColumnsKey).toByteArray());
}

void TMainFrm::saveLayout() const {
    QSettings settings;
    settings.setValue(kGeometryKey, saveGeometry());
    settings.setValue(kSplittersKey, QList<QVariant>{Splitter1->saveState(), Splitter2->saveState(), Splitter3->saveState()});
    settings.setValue(kColumnsKey, DBGrid1->horizontalHeader()->saveState());
}

// ---- layout

namespace {

// What a screen reader says of a control: its name, and what it is for.
void describe(QWidget* control, const QString& name, const QString& description) {
    control->setAccessibleName(name);
    control->setAccessibleDescription(description);
}

}  // namespace

QToolButton* TMainFrm::addButton(const char* name, const QString& hint, int image,
                                 void (TMainFrm::*handler)()) {
    auto* button = new QToolButton(ToolBar1);
    button->setObjectName(QString::fromLatin1(name));
    button->setIcon(icons::toolbarImage(image));
    button->setToolTip(hint);
    button->setAccessibleName(hint);  // an icon alone says nothing to a screen reader
    button->setAutoRaise(true);
    // Out of the Tab chain: every button's command has a key of its own (see the menus).
    button->setFocusPolicy(Qt::NoFocus);
    button->setFixedSize(23, 22);
    button->setIconSize(QSize(16, 16));
    ToolBar1->addWidget(button);
    connect(button, &QToolButton::clicked, this, [this, handler] { runWhenFree([this, handler] { (this->*handler)(); }); });
    return button;
}

void TMainFrm::buildControls() {
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setFixedHeight(29);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->toggleViewAction()->setVisible(false);
    addToolBar(Qt::TopToolBarArea, ToolBar1);
    BtnNewFile = addButton("BtnNewFile", tr("New Archive"), 0, &TMainFrm::BtnNewFileClick);
    BtnOpenFile = addButton("BtnOpenFile", tr("Open Archive"), 2, &TMainFrm::BtnOpenFileClick);
    BtnAddFile = addButton("BtnAddFile", tr("Add Files"), 4, &TMainFrm::BtnAddFileClick);
    BtnDelete = addButton("BtnDelete", tr("Delete"), 6, &TMainFrm::BtnDeleteClick);
    BtnBrowse = addButton("BtnBrowse", tr("View"), 8, &TMainFrm::BtnBrowseClick);
    BtnExtract = addButton("BtnExtract", tr("Extract To"), 14, &TMainFrm::BtnExtractClick);
    BtnBuildExe = addButton("BtnBuildExe", tr("Rebuild Archive"), 10, &TMainFrm::BtnBuildExeClick);
    ToolButton1 = addButton("ToolButton1", tr("Quit"), 16, &TMainFrm::ToolButton1Click);
    ToolBar1->setAccessibleName(tr("Commands"));
    BtnNewFile->setAccessibleDescription(tr("Creates a new, empty archive (Ctrl+N)"));
    BtnOpenFile->setAccessibleDescription(tr("Opens an archive (Ctrl+O)"));
    BtnAddFile->setAccessibleDescription(tr("Adds the files selected in the file pane to the archive (Ctrl+Shift+A)"));
    BtnDelete->setAccessibleDescription(tr("Deletes the selected entries from the archive (Delete)"));
    BtnBrowse->setAccessibleDescription(tr("Shows the selected file (F3)"));
    BtnExtract->setAccessibleDescription(tr("Extracts the selected entries, or all that are listed, to a folder (Ctrl+E)"));
    BtnBuildExe->setAccessibleDescription(tr("Rewrites the archive without the space deleted entries left"));
    ToolButton1->setAccessibleDescription(tr("Closes the window (Ctrl+Q)"));

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
    PageControl1->addTab(TabSheet1, tr("File List"));
    GroupBox1 = new QGroupBox(tr("Archive"), TabSheet1);
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
    FindEdit->setPlaceholderText(tr("Find by name"));
    FindEdit->setClearButtonEnabled(true);
    WholeArchive = new QCheckBox(tr("Whole archive"));
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
    describe(PageControl1, tr("File List"), tr("The open archive: its folder tree and the listing of a folder"));
    describe(DriveComboBox1, tr("Drive"), tr("The drive or volume whose folders the folder pane shows"));
    describe(DirectoryListBox1, tr("Folders"), tr("The folders of the drive; the chosen one is listed in the file pane"));
    describe(FileListBox1, tr("Files"), tr("The files and folders of the chosen folder, to add to the archive"));
    describe(tv, tr("Archive folders"), tr("The folders stored in the archive"));
    describe(DBGrid1, tr("Archive contents"), tr("The entries of the archive folder chosen in the tree"));
    describe(FindEdit, tr("Find by name"), tr("Lists only the entries whose names contain this text"));
    describe(WholeArchive, WholeArchive->text(), tr("Searches every folder of the archive, not only the one shown"));
    describe(FolderStatus, tr("Listed entries"), tr("How many folders and files are listed, and their size"));
    describe(SelectionStatus, tr("Selection"), tr("How many entries are selected, and their size"));
    describe(OutcomeStatus, tr("Last command"), tr("What the last command did"));
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

}  // namespace oru::ui
