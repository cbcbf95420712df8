// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window's Add adds to the engine's naming: the question asked before items that the
// archive holds already (Replace / Keep both / Cancel, with "apply to all"), and the list of
// items stored under another name, shown in one dialog after Add. The logic is in plain
// functions; the two dialogs are the only parts that need a display.

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/Progress.h"
#include "archive/zipUtil.h"

class QWidget;

namespace oru::ui {

// The answer to "already in the archive" for one item.
struct ExistingChoice {
    enum class Action { Replace, KeepBoth, Cancel };
    Action action = Action::Replace;
    bool applyToAll = false;  // the same for every later item that is there already
};

// One item to add and what to do where it is there already.
struct PlannedAdd {
    std::string path;
    TKiv::AddMode mode = TKiv::AddMode::Replace;
};

// The items of paths in order, each with its mode: ask(path) is called for each path among
// existing (the ones the archive holds already) until an answer applies to all. nullopt when an
// answer is Cancel: nothing is to be added.
std::optional<std::vector<PlannedAdd>> planAdd(const std::vector<std::string>& paths,
                                               const std::vector<std::string>& existing,
                                               const std::function<ExistingChoice(const std::string& path)>& ask);

// Passes every report on to another sink (which may be null) and keeps the renames. Every
// call of Progress is forwarded here, so that the sink behind it misses nothing.
class RenameRecorder : public Progress {
public:
    explicit RenameRecorder(Progress* inner) : inner_(inner) {}
    void update(const Info& info) override {
        if (inner_) inner_->update(info);
    }
    bool cancelled() override { return inner_ && inner_->cancelled(); }
    void skipped(const std::string& path, SkipReason reason) override {
        if (inner_) inner_->skipped(path, reason);
    }
    void renamed(const std::string& from, const std::string& to) override { renames_.emplace_back(from, to); }
    const std::vector<std::pair<std::string, std::string>>& renames() const { return renames_; }

private:
    Progress* inner_;
    std::vector<std::pair<std::string, std::string>> renames_;
};

// The renames as the dialog lists them: one line each, "source → stored name".
QString renamesText(const std::vector<std::pair<std::string, std::string>>& renames);

// The question for path, as a modal message box over parent.
ExistingChoice askExistingItem(QWidget* parent, const std::string& path);
// The dialog after Add that lists the renames.
void showRenames(QWidget* parent, const std::vector<std::pair<std::string, std::string>>& renames);

}  // namespace oru::ui
