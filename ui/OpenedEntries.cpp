// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/OpenedEntries.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>
#include <algorithm>

namespace oru::ui {

struct TOpenedEntries::Watched {
    Entry entry;
    QByteArray hash;       // of the content last handed on (or extracted)
    QTimer* settle;        // restarted by every change; its end calls the handler
    bool calling = false;  // the handler runs (its question is open): changes wait for its end
};

TOpenedEntries::TOpenedEntries(QObject* parent)
    : QObject(parent), watcher_(new QFileSystemWatcher(this)) {
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, &TOpenedEntries::pathChanged);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &TOpenedEntries::pathChanged);
}

TOpenedEntries::~TOpenedEntries() = default;

QByteArray TOpenedEntries::contentHash(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

void TOpenedEntries::watch(Entry entry) {
    auto watched = std::make_unique<Watched>();
    watched->hash = contentHash(entry.copy);
    watched->settle = new QTimer(this);
    watched->settle->setSingleShot(true);
    watched->settle->setInterval(kSettleMs);
    Watched* raw = watched.get();
    connect(watched->settle, &QTimer::timeout, this, [this, raw] { settled(*raw); });
    // The folder tells of a file renamed over the copy, which ends the watch of the copy itself.
    watcher_->addPath(entry.copy);
    watcher_->addPath(QFileInfo(entry.copy).absolutePath());
    watched->entry = std::move(entry);
    watched_.push_back(std::move(watched));
}

void TOpenedEntries::forget(const std::string& archivePath) {
    for (auto it = watched_.begin(); it != watched_.end();) {
        if ((*it)->entry.archivePath != archivePath || (*it)->calling) {
            ++it;
            continue;
        }
        watcher_->removePath((*it)->entry.copy);
        watcher_->removePath(QFileInfo((*it)->entry.copy).absolutePath());
        delete (*it)->settle;
        it = watched_.erase(it);
    }
}

void TOpenedEntries::pathChanged(const QString& path) {
    for (const auto& watched : watched_) {
        const QString& copy = watched->entry.copy;
        if (path == copy || path == QFileInfo(copy).absolutePath()) watched->settle->start();
    }
}

void TOpenedEntries::settled(Watched& watched) {
    const QString copy = watched.entry.copy;
    // A copy replaced by a rename is a new file: it is watched anew.
    if (QFileInfo::exists(copy) && !watcher_->files().contains(copy)) watcher_->addPath(copy);
    if (watched.calling) return watched.settle->start();
    const QByteArray now = contentHash(copy);
    // Missing (between an editor's delete and its rename), or unchanged (saved as it was).
    if (now.isEmpty() || now == watched.hash) return;
    if (!changed) return;
    watched.calling = true;
    const bool handled = changed(watched.entry);
    watched.calling = false;
    if (!handled) return watched.settle->start();
    watched.hash = now;
    // Saved again while the question was open: that change is put in its turn.
    if (contentHash(copy) != now) watched.settle->start();
}

}  // namespace oru::ui
