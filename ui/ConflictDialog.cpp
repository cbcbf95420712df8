// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ConflictDialog.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFileInfo>
#include <QFormLayout>
#include <QLocale>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/CatalogModel.h"
#include "ui/CommandTexts.h"

namespace oru::ui {

namespace {

// A file's date in the catalog's measure (days since 1899-12-30 00:00 local time), so that both
// files' dates read alike.
double daysSince1899(const QDateTime& when) {
    const QDateTime base(QDate(1899, 12, 30), QTime(0, 0));
    return static_cast<double>(base.msecsTo(when)) / 86400000.0;
}

}  // namespace

TConflictDlg::TConflictDlg(const std::string& path, QWidget* parent, const ConflictEntry* entry) : QDialog(parent) {
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
    // Both files side by side, as a file manager shows them: size and date of each.
    const QLocale locale;
    const QFileInfo existing(QString::fromStdString(path));
    auto* facts = new QFormLayout;
    auto* existingFacts = new QLabel(tr("%1, modified %2")
                                         .arg(sizeText(existing.size(), locale),
                                              CatalogModel::formatDateTime(daysSince1899(existing.lastModified()), locale)),
                                     this);
    existingFacts->setObjectName(QStringLiteral("ExistingFacts"));
    QString entryText = tr("unknown");
    if (entry && entry->size >= 0) {
        entryText = entry->hasDate ? tr("%1, added %2").arg(sizeText(entry->size, locale),
                                                             CatalogModel::formatDateTime(entry->date, locale))
                                   : sizeText(entry->size, locale);
    }
    auto* entryFacts = new QLabel(entryText, this);
    entryFacts->setObjectName(QStringLiteral("EntryFacts"));
    facts->addRow(tr("Existing file:"), existingFacts);
    facts->addRow(tr("From the archive:"), entryFacts);
    layout->addLayout(facts);
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

ConflictAnswer TConflictDlg::ask(QWidget* parent, const std::string& path, const ConflictEntry* entry) {
    TConflictDlg dialog(path, parent, entry);
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
