// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's rendering of the engine's progress reports: a progress dialog that appears once
// an operation has run longer than a short delay, shows the items and bytes done, keeps the
// window painted, and offers Cancel where the operation can stop. After Cancel the window shows
// the busy cursor until the operation has stopped, and keeps the user's clicks for after it.

#include <QElapsedTimer>
#include <QPointer>
#include <QString>

#include "archive/Progress.h"

class QProgressDialog;
class QWidget;

namespace oru::ui {

class TProgressSink : public oru::Progress {
public:
    // parent: the window the dialog belongs to; cancellable: whether Cancel is offered.
    TProgressSink(QWidget* parent, QString title, bool cancellable, int delayMs = 500);
    ~TProgressSink() override;
    TProgressSink(const TProgressSink&) = delete;
    TProgressSink& operator=(const TProgressSink&) = delete;

    void update(const Info& info) override;
    bool cancelled() override;

    // The dialog once it is shown (tests press its Cancel button); nullptr before.
    QProgressDialog* dialog() const;

private:
    void pumpEvents();

    QWidget* parent_;
    QString title_;
    bool cancellable_;
    int delayMs_;
    QElapsedTimer timer_;
    QPointer<QProgressDialog> dialog_;
    bool cancelled_ = false;
    bool busyCursor_ = false;  // shown from Cancel until the operation has stopped
};

}  // namespace oru::ui
