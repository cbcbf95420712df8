// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's menus and the way a command runs: one at a time, its failure shown by the
// central handler, the recent-archives list.

#include "ui/zipmain.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTimer>

#include "platform/Error.h"
#include "ui/Application.h"
#include "ui/DBGrid.h"
#include "ui/Dialogs.h"
#include "ui/zipmainParts.h"

namespace oru::ui {

using namespace mainframe;

namespace {

constexpr int kBusyRetryMs = 50;  // how soon a command or a close waiting for another is tried again

}  // namespace

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
    // Commands that need an archive open; updateTitle enables them with one.
    auto needsArchive = [this](QAction* action) { archiveActions_.push_back(action); };
    QMenu* file = bar->addMenu(tr("&File"));
    addCommand(file, tr("&New Archive..."), QKeySequence::New, &TMainFrm::BtnNewFileClick);
    addCommand(file, tr("&Open Archive..."), QKeySequence::Open, &TMainFrm::BtnOpenFileClick);
    RecentMenu = file->addMenu(tr("Open &Recent"));
    RecentMenu->setObjectName(QStringLiteral("RecentMenu"));
    connect(RecentMenu, &QMenu::aboutToShow, this, &TMainFrm::fillRecentMenu);
    fillRecentMenu();
    file->addSeparator();
    needsArchive(addCommand(file, tr("&Properties..."), QKeySequence(Qt::ALT | Qt::Key_Return),
                            &TMainFrm::showProperties));
    addCommand(file, tr("Rep&air..."), QKeySequence(), &TMainFrm::repairArchive);
    file->addSeparator();
    addCommand(file, tr("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q), &TMainFrm::ToolButton1Click);

    QMenu* commands = bar->addMenu(tr("&Actions"));
    needsArchive(addCommand(commands, tr("&Add Files"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A),
                            &TMainFrm::BtnAddFileClick));
    needsArchive(addCommand(commands, tr("&Extract To..."), QKeySequence(Qt::CTRL | Qt::Key_E),
                            &TMainFrm::BtnExtractClick));
    OpenFolderAfterExtract = commands->addAction(tr("Open the &Folder After Extracting"));
    OpenFolderAfterExtract->setObjectName(QStringLiteral("OpenFolderAfterExtract"));
    OpenFolderAfterExtract->setCheckable(true);
    OpenFolderAfterExtract->setChecked(QSettings().value(QStringLiteral("extract/openFolder"), false).toBool());
    connect(OpenFolderAfterExtract, &QAction::toggled, this,
            [](bool on) { QSettings().setValue(QStringLiteral("extract/openFolder"), on); });
    needsArchive(addCommand(commands, tr("&Delete"), QKeySequence(Qt::Key_Delete), &TMainFrm::BtnDeleteClick,
                            DBGrid1));
    needsArchive(addCommand(commands, tr("&View"), QKeySequence(Qt::Key_F3), &TMainFrm::BtnBrowseClick));
    needsArchive(addCommand(commands, tr("Open with the Default A&pplication"), QKeySequence(Qt::SHIFT | Qt::Key_Return),
                            &TMainFrm::openSelectionWithApplication, DBGrid1));
    needsArchive(addCommand(commands, tr("&Test"), QKeySequence(Qt::CTRL | Qt::Key_T), &TMainFrm::testArchive));
    needsArchive(addCommand(commands, tr("Re&build Archive"), QKeySequence(), &TMainFrm::BtnBuildExeClick));
    commands->addSeparator();
    // Add writes the eight catalog columns only, as earlier versions did; ORU_PLAIN=1 checks it.
    plainArchives_ = commands->addAction(tr("P&lain Archives"));
    plainArchives_->setObjectName(QStringLiteral("PlainArchives"));
    plainArchives_->setCheckable(true);
    plainArchives_->setChecked(oru::TKiv::PlainByDefault());

    QMenu* view = bar->addMenu(tr("&View"));
    needsArchive(addCommand(view, tr("&Find"), QKeySequence::Find, &TMainFrm::startFind));
    addCommand(view, tr("&Refresh"), QKeySequence(Qt::Key_F5), &TMainFrm::refreshFilePanes);
    needsArchive(addCommand(view, tr("Select &All"), QKeySequence::SelectAll, &TMainFrm::selectAllRows, DBGrid1));
    needsArchive(addCommand(view, tr("&Up One Level"), QKeySequence(Qt::ALT | Qt::Key_Up),
                            &TMainFrm::showParentFolder, GroupBox1));
    updateTitle();  // no archive yet: its commands start disabled
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
    bool cancelled = false;
    bool done = false;
    for (bool again = true; again;) {
        again = false;
        done = app->runCommand([&] {
            try {
                command();
            } catch (const oru::Error& e) {
                // Another program holds the archive (a moment, often): the user may try again
                // once it has let go, rather than read a failure.
                if (e.kind() == oru::ErrorKind::ArchiveInUse) {
                    again = dialogs::askYesNo(this, tr("%1\n\nClose it in the other program, then try again.")
                                                        .arg(QString::fromStdString(e.what())),
                                              tr("&Try Again"), tr("Cancel"));
                    cancelled = true;
                    if (again) return;
                    throw oru::Error(oru::ErrorKind::Cancelled, {});
                }
                cancelled = e.kind() == oru::ErrorKind::Cancelled;
                throw;  // to the central handler, which tells a failure and is silent on a cancel
            }
        });
        if (again) done = false;
    }
    if (done) return true;
    // The status bar no longer describes a command before this one.
    setOutcome(cancelled ? tr("The command was cancelled.") : tr("The command failed."));
    if (!cancelled) offerRepairAfterFailure();
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
        saveLayout();
        QMainWindow::closeEvent(event);
        return;
    }
    // The running command sees the request at its next check (within a megabyte of the file it
    // works on) and leaves the archive as a cancel does; the window closes after it.
    closeRequested_ = true;
    event->ignore();
    QTimer::singleShot(kBusyRetryMs, this, [this] { close(); });
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

void TMainFrm::startFind() {
    FindEdit->setFocus(Qt::ShortcutFocusReason);
    FindEdit->selectAll();
}

}  // namespace oru::ui
