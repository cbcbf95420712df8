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

#include "ui/Application.h"
#include "ui/DBGrid.h"
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
