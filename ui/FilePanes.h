// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The upper half of the main window: the drive box, the directory pane and the file pane, wired
// together by TMainFrm. Every change of directory also becomes the process's working directory.

#include <QComboBox>
#include <QListWidget>
#include <QString>

namespace oru::ui {

// "/" and the mounted file systems a user would pick: the home folder and removable media.
class TDriveComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TDriveComboBox(QWidget* parent = nullptr);
    // Shows the entry that holds path (the longest matching root), without signalling.
    void followDirectory(const QString& path);
Q_SIGNALS:
    void driveChosen(const QString& root);
};

// The path from "/" down to the current directory, then its subdirectories by name (hidden ones
// left out). Opening an item (double-click or Enter) makes it the current directory.
class TDirectoryListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TDirectoryListBox(QWidget* parent = nullptr);
    const QString& Directory() const { return directory_; }
    // Makes path the current directory (and the process's working directory) and re-reads.
    void setDirectory(const QString& path);
    // Rebuilds the items from the file system and hands the directory on again.
    void Reread();
Q_SIGNALS:
    void directoryChanged(const QString& path);
private:
    void fill();
    QString directory_;
};

// The current directory's entries: files by name, directories as "[name]", no "." or "..",
// hidden entries left out, sorted by text; several may be selected.
class TFileListBox : public QListWidget {
    Q_OBJECT
public:
    enum Role { NameRole = Qt::UserRole, IsDirectoryRole };
    explicit TFileListBox(QWidget* parent = nullptr);
    const QString& Directory() const { return directory_; }
    // Re-reads the items only when path differs from the directory shown.
    void setDirectory(const QString& path);
    void Reread();
    // The entry's bare name (what the item's text shows without brackets).
    static QString itemName(const QListWidgetItem* item);
private:
    QString directory_;
};

}  // namespace oru::ui
