// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Dialogs.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>

#include "ui/ArchiveReport.h"
#include "ui/ProgressSink.h"
#include "ui/SelectDirDlg.h"

namespace oru::ui {

namespace {
// The catalog's context of this file's texts.
struct Dialogs {
    Q_DECLARE_TR_FUNCTIONS(Dialogs)
};
}  // namespace

void resetDialogAnswers() {
    QuestionBox::reset();
    NoticeBox::reset();
    ReportDialog::reset();
    RenamesDialog::reset();
    SaveDialog::reset();
    OpenDialog::reset();
    FolderChooser::reset();
    ConflictQuestion::reset();
    ExistingQuestion::reset();
    ProgressDialog::reset();
    ExternalOpener::reset();
}

namespace dialogs {

bool askYesNo(QWidget* parent, const QString& question, const QString& yes, const QString& no) {
    if (QuestionBox::answered()) return QuestionBox::take(question);
    QMessageBox box(QMessageBox::Question, QStringLiteral("WinOru"), question, QMessageBox::Yes | QMessageBox::No,
                    parent);
    if (!yes.isEmpty()) box.button(QMessageBox::Yes)->setText(yes);
    if (!no.isEmpty()) box.button(QMessageBox::No)->setText(no);
    return box.exec() == QMessageBox::Yes;
}

void tell(QWidget* parent, const QString& text) {
    if (NoticeBox::answered()) return NoticeBox::take(text);
    QMessageBox::information(parent, QStringLiteral("WinOru"), text);
}

void showReport(QWidget* parent, const QString& title, const QString& summary, const QStringList& items) {
    if (ReportDialog::answered()) return ReportDialog::take(title, summary, items);
    showListDialog(parent, title, summary, items);
}

void showRenamed(QWidget* parent, const Renames& renames) {
    if (RenamesDialog::answered()) return RenamesDialog::take(renames);
    showRenames(parent, renames);
}

std::optional<std::string> askArchivePath(QWidget* parent, bool save, QString& last) {
    if (save && SaveDialog::answered()) return SaveDialog::take();
    if (!save && OpenDialog::answered()) return OpenDialog::take();
    QFileDialog dialog(parent, save ? Dialogs::tr("New Archive") : Dialogs::tr("Open Archive"));
    dialog.setObjectName(save ? QStringLiteral("SaveDialog1") : QStringLiteral("OpenDialog1"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);  // Open reports a missing file itself
    dialog.setNameFilter(Dialogs::tr("Archives (*.oru)"));
    dialog.setDefaultSuffix(QStringLiteral("oru"));
    if (save) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!last.isEmpty()) dialog.selectFile(last);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    last = dialog.selectedFiles().front();
    return last.toStdString();
}

std::optional<std::string> askFolder(QWidget* parent) {
    if (FolderChooser::answered()) return FolderChooser::take();
    TSelectDirDlg dialog(parent);  // it asks itself before accepting a missing directory
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.directory().toStdString();
}

ConflictAnswer askConflict(QWidget* parent, const std::string& path, const ConflictEntry* entry) {
    if (ConflictQuestion::answered()) return ConflictQuestion::take(path);
    return TConflictDlg::ask(parent, path, entry);
}

ExistingChoice askExisting(QWidget* parent, const std::string& path) {
    if (ExistingQuestion::answered()) return ExistingQuestion::take(path);
    return askExistingItem(parent, path);
}

std::unique_ptr<oru::Progress> makeProgress(QWidget* parent, const QString& title, bool cancellable) {
    if (ProgressDialog::answered()) return ProgressDialog::take(title, cancellable);
    return std::make_unique<TProgressSink>(parent, title, cancellable);
}

void openExternally(QWidget* parent, const QString& path) {
    if (ExternalOpener::answered()) return ExternalOpener::take(path);
    const QPointer<QWidget> owner(parent);
    const auto noApplication = [owner, path] {
        if (QCoreApplication::closingDown()) return;  // the program ends: nobody to tell
        tell(owner, Dialogs::tr("No application could open %1. Extract it and open it from a file manager, or "
                                "install an application for files of its type.")
                        .arg(QFileInfo(path).fileName()));
    };
    const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (xdgOpen.isEmpty()) {
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) noApplication();
        return;
    }
    // xdg-open says by its exit status whether an application took the file; it may wait for
    // that application, so it runs on its own, owned by the application object.
    auto* process = new QProcess(QCoreApplication::instance());
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(process, &QProcess::finished, process, [process, noApplication](int code, QProcess::ExitStatus status) {
        process->deleteLater();
        if (status != QProcess::NormalExit || code != 0) noApplication();
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [process, noApplication](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        process->deleteLater();
        noApplication();
    });
    process->start(xdgOpen, {path});
}

}  // namespace dialogs
}  // namespace oru::ui
