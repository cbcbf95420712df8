// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The folder chooser of the Extract command: drives, a directory tree, the chosen directory's
// files for orientation, and an editable directory name. OK on a directory that does not exist
// asks whether to create it; No returns to the chooser.

#include <QDialog>

class QLineEdit;
class QListWidget;
class QTreeView;
class QFileSystemModel;

namespace oru::ui {

class TDriveComboBox;

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
    QLineEdit* name_;
};

}  // namespace oru::ui
