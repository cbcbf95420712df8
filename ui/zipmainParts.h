// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the files of the main window (zipmain*.cpp) share: the scopes a command holds while it
// runs, and the conversions between Qt's strings and the engine's native paths.

#include <QString>
#include <Qt>
#include <string>

#include "archive/zipUtil.h"

namespace oru::ui::mainframe {

constexpr int kNameRole = Qt::UserRole;  // a tree node's folder name, CP950 bytes

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

inline QString fromNative(const std::string& path) { return QString::fromStdString(path); }
inline std::string toNative(const QString& path) { return path.toStdString(); }

}  // namespace oru::ui::mainframe
