// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Entries the user opened with the desktop's applications, each from a private copy. Every copy
// is watched, and its folder too, so that an editor that saves by writing a new file and renaming
// it over the old one is seen as well as one that writes in place. Once a copy's content has
// changed and stayed unchanged for kSettleMs (an editor's save is often several writes), the
// owner's handler is called once for that change; several entries are watched at once.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QFileSystemWatcher;
class QTimer;

namespace oru::ui {

class TOpenedEntries : public QObject {
    Q_OBJECT
public:
    // What is known of an entry opened from a copy.
    struct Entry {
        QString copy;             // the private copy the application was given
        std::string archivePath;  // the archive it came from
        std::string parentName;   // its folder in the archive (CP950; empty: the top level)
        std::string storedName;   // its name in the archive (CP950)
        int64_t offset = 0;       // its stored bytes when opened or last updated: other ones mean
        int64_t storedSize = 0;   //   the entry was replaced since
        uint64_t reloads = 0;     // the archive's Reloads() then: more mean another program wrote it
        bool confirmed = false;   // the user said yes; the update waits for a running command
    };

    // How long a changed copy must stay unchanged before the handler is called.
    static constexpr int kSettleMs = 200;

    explicit TOpenedEntries(QObject* parent = nullptr);
    ~TOpenedEntries() override;

    // Called for a copy whose content changed and settled, with its entry to update. Returns
    // false when it cannot deal with it now (a command runs): it is called again a little later.
    std::function<bool(Entry& entry)> changed;

    // Starts watching entry.copy, which holds the entry's content as extracted.
    void watch(Entry entry);
    // Stops watching the copies of the archive at archivePath (it is no longer shown); the copies
    // stay where they are.
    void forget(const std::string& archivePath);
    int count() const { return static_cast<int>(watched_.size()); }

private:
    struct Watched;
    void pathChanged(const QString& path);
    void settled(Watched& watched);
    static QByteArray contentHash(const QString& path);

    QFileSystemWatcher* watcher_;
    std::vector<std::unique_ptr<Watched>> watched_;
};

}  // namespace oru::ui
