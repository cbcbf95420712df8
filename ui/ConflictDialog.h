// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's question when an extracted file would land on a file that exists: Overwrite,
// Skip, Keep both or Cancel, with "apply to all" for the rest of the extraction.

#include <QDialog>
#include <functional>
#include <string>

#include "archive/ConflictHandler.h"

class QCheckBox;

namespace oru::ui {

struct ConflictAnswer {
    oru::ConflictChoice choice = oru::ConflictChoice::Cancel;
    bool applyToAll = false;
};

class TConflictDlg : public QDialog {
    Q_OBJECT
public:
    // path: the existing file (UTF-8). Buttons BtnOverwrite, BtnSkip, BtnKeepBoth, BtnCancel;
    // check box ApplyToAll. Closing the dialog counts as Cancel.
    TConflictDlg(const std::string& path, QWidget* parent);
    ConflictAnswer answer() const;
    // Runs the dialog modally over parent and gives the answer.
    static ConflictAnswer ask(QWidget* parent, const std::string& path);

private:
    oru::ConflictChoice choice_ = oru::ConflictChoice::Cancel;
    QCheckBox* applyToAll_;
};

// The answers of one extraction in the window: each conflict is put to ask until an answer comes
// with "apply to all", which then stands for every later conflict.
class WindowConflicts : public oru::ConflictHandler {
public:
    using Ask = std::function<ConflictAnswer(const std::string& path)>;
    explicit WindowConflicts(Ask ask) : ask_(std::move(ask)) {}
    oru::ConflictChoice choose(const std::string& path) override;

private:
    Ask ask_;
    bool remembered_ = false;
    oru::ConflictChoice all_ = oru::ConflictChoice::Cancel;
};

}  // namespace oru::ui
