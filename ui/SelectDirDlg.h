// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The folder chooser of the Extract command: a places list, drives, a directory tree, the chosen
// directory's files for orientation, and an editable directory name. OK on a directory that does not exist
// asks whether to create it; No returns to the chooser.

#include <QDialog>
#include <QList>
#include <QString>

class QLineEdit;
class QListWidget;
class QTreeView;
class QFileSystemModel;

namespace oru::ui {

class TDriveComboBox;

// A folder the chooser offers in its places list.
struct Place {
    QString label;
    QString path;
};
// The places a desktop's dialogs offer: the home folder, then its Desktop, Documents and Downloads
// folders, the mounted volumes (the root and removable or network media), then the user's GTK
// bookmarks, read from bookmarksFile (lines "file:///path [label]"; others are passed over).
// Only existing directories, each once, in that order.
QList<Place> folderPlaces(const QString& bookmarksFile);
// ~/.config/gtk-3.0/bookmarks, where GTK's file dialogs and file managers keep bookmarks.
QString gtkBookmarksFile();

class TSelectDirDlg : public QDialog {
    Q_OBJECT
public:
    // Opens at startDirectory (the working directory when empty).
    explicit TSelectDirDlg(QWidget* parent = nullptr, const QString& startDirectory = {});

    QString directory() const;             // the typed or chosen directory, absolute
    void setDirectoryText(const QString& text);
    // What OK does: accepts, or stays open when the user declined to create the directory (the
    // question is a QuestionBox of ui/Dialogs.h).
    void tryAccept();

    static QString createQuestion() {
        return tr("The specified directory does not exist. Create it?");
    }

private:
    void showDirectory(const QString& path);
    void revealInTree();

    QString shown_;  // the directory chosen in the tree or the drive box

    TDriveComboBox* drives_;
    QTreeView* tree_;
    QFileSystemModel* treeModel_;
    QListWidget* files_;
    QListWidget* places_;  // Places1: home, standard folders, volumes, bookmarks
    QLineEdit* name_;
};

}  // namespace oru::ui
