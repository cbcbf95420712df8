// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ConflictDialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace oru::ui {

TConflictDlg::TConflictDlg(const std::string& path, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ConflictDlg"));
    setWindowTitle(tr("File Already Exists"));
    auto* layout = new QVBoxLayout(this);
    auto* question = new QLabel(tr("\"%1\" already exists.\nOverwrite it with the file from the archive?")
                                    .arg(QString::fromStdString(path)),
                                this);
    question->setObjectName(QStringLiteral("Question"));
    question->setWordWrap(true);
    question->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(question);
    applyToAll_ = new QCheckBox(tr("Do the same for the remaining conflicts"), this);
    applyToAll_->setObjectName(QStringLiteral("ApplyToAll"));
    layout->addWidget(applyToAll_);

    auto* buttons = new QHBoxLayout;
    const auto addButton = [&](const char* name, const QString& text, oru::ConflictChoice choice) {
        auto* button = new QPushButton(text, this);
        button->setObjectName(QString::fromLatin1(name));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, choice] {
            choice_ = choice;
            choice == oru::ConflictChoice::Cancel ? reject() : accept();
        });
        buttons->addWidget(button);
        return button;
    };
    addButton("BtnOverwrite", tr("Overwrite"), oru::ConflictChoice::Overwrite);
    addButton("BtnSkip", tr("Skip"), oru::ConflictChoice::Skip)->setDefault(true);
    addButton("BtnKeepBoth", tr("Keep Both"), oru::ConflictChoice::KeepBoth);
    addButton("BtnCancel", tr("Cancel"), oru::ConflictChoice::Cancel);
    layout->addLayout(buttons);
    // Escape and the close box leave choice_ at Cancel.
}

ConflictAnswer TConflictDlg::answer() const { return {choice_, applyToAll_->isChecked()}; }

ConflictAnswer TConflictDlg::ask(QWidget* parent, const std::string& path) {
    TConflictDlg dialog(path, parent);
    dialog.exec();
    return dialog.answer();
}

oru::ConflictChoice WindowConflicts::choose(const std::string& path) {
    if (remembered_) return all_;
    const ConflictAnswer answer = ask_(path);
    if (answer.applyToAll && answer.choice != oru::ConflictChoice::Cancel) {
        remembered_ = true;
        all_ = answer.choice;
    }
    return answer.choice;
}

}  // namespace oru::ui
