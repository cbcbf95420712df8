// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ProgressSink.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLocale>
#include <QProgressDialog>

#include "ui/CommandTexts.h"

namespace oru::ui {

namespace {
// The catalog's context of this file's texts.
struct ProgressSink {
    Q_DECLARE_TR_FUNCTIONS(ProgressSink)
};
}  // namespace

TProgressSink::TProgressSink(QWidget* parent, QString title, bool cancellable, int delayMs)
    : parent_(parent), title_(std::move(title)), cancellable_(cancellable), delayMs_(delayMs) {
    timer_.start();
}

TProgressSink::~TProgressSink() {
    delete dialog_;
    if (busyCursor_) QApplication::restoreOverrideCursor();
}

QProgressDialog* TProgressSink::dialog() const { return dialog_; }

void TProgressSink::update(const Info& info) {
    if (!dialog_ && timer_.elapsed() >= delayMs_) {
        dialog_ = new QProgressDialog(parent_);
        dialog_->setWindowTitle(title_);
        dialog_->setWindowModality(Qt::WindowModal);  // the window takes no command meanwhile
        dialog_->setMinimumDuration(0);
        dialog_->setAutoClose(false);
        dialog_->setAutoReset(false);
        if (cancellable_)
            dialog_->setCancelButtonText(ProgressSink::tr("Cancel"));
        else
            dialog_->setCancelButton(nullptr);
        dialog_->setMinimumWidth(360);
        dialog_->show();
    }
    if (dialog_) {
        if (info.bytesTotal > 0) {
            dialog_->setRange(0, 1000);
            const double part = static_cast<double>(info.bytesDone) / static_cast<double>(info.bytesTotal);
            dialog_->setValue(static_cast<int>(std::min(part, 1.0) * 1000));
        } else {
            dialog_->setRange(0, 0);
        }
        const int done = static_cast<int>(info.itemsDone);
        const QString bytes = sizeText(static_cast<qint64>(info.bytesDone));
        dialog_->setLabelText(ProgressSink::tr("%1\n%n item(s) done, %2", nullptr, done)
                                  .arg(QString::fromStdString(info.currentName), bytes));
    }
    pumpEvents();
}

bool TProgressSink::cancelled() {
    pumpEvents();
    if (dialog_ && dialog_->wasCanceled()) cancelled_ = true;
    if (cancellable_ && cancelled_ && !busyCursor_) {
        // The dialog is gone; the operation stops within a megabyte of its work.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        busyCursor_ = true;
    }
    return cancellable_ && cancelled_;
}

void TProgressSink::pumpEvents() {
    // While the dialog is up it is modal to the window and takes the user's input itself.
    // Before it appears, and after Cancel has closed it, the user's input waits in the queue
    // for the end of the command instead of reaching the window's commands meanwhile.
    const bool dialogUp = dialog_ && dialog_->isVisible();
    QCoreApplication::processEvents(dialogUp ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
}

}  // namespace oru::ui
