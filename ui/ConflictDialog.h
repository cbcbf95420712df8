// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's question when an extracted file would land on a file that exists: Overwrite,
// Skip, Keep both or Cancel, with "apply to all" for the rest of the extraction.

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/ConflictHandler.h"

class QCheckBox;

namespace oru::ui {

// What is known of the entry whose file would land on an existing one: its size and the date
// it was added, for the question to show beside the existing file's.
struct ConflictEntry {
    int64_t size = -1;     // -1: unknown
    double date = 0;       // CheckinDate (days since 1899-12-30)
    bool hasDate = false;
};

struct ConflictAnswer {
    oru::ConflictChoice choice = oru::ConflictChoice::Cancel;
    bool applyToAll = false;
};

class TConflictDlg : public QDialog {
    Q_OBJECT
public:
    // path: the existing file (UTF-8); entry: the archive's file (null: not known). Below the
    // question, labels ExistingFacts and EntryFacts give each file's size and date. Buttons
    // BtnOverwrite, BtnSkip, BtnKeepBoth, BtnCancel; check box ApplyToAll. Closing the dialog
    // counts as Cancel.
    TConflictDlg(const std::string& path, QWidget* parent, const ConflictEntry* entry = nullptr);
    ConflictAnswer answer() const;
    // Runs the dialog modally over parent and gives the answer.
    static ConflictAnswer ask(QWidget* parent, const std::string& path, const ConflictEntry* entry = nullptr);

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
    // What the file system would not keep (permissions, times, links), one message per kind.
    void notice(const std::string& message) override { notices_.push_back(message); }
    const std::vector<std::string>& notices() const { return notices_; }

private:
    Ask ask_;
    std::vector<std::string> notices_;
    bool remembered_ = false;
    oru::ConflictChoice all_ = oru::ConflictChoice::Cancel;
};

}  // namespace oru::ui
