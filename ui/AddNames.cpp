// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AddNames.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace oru::ui {

namespace {
// The catalog's context of this file's texts.
struct AddNames {
    Q_DECLARE_TR_FUNCTIONS(AddNames)
};
}  // namespace

std::optional<std::vector<PlannedAdd>> planAdd(const std::vector<std::string>& paths,
                                               const std::vector<std::string>& existing,
                                               const std::function<ExistingChoice(const std::string& path)>& ask) {
    std::vector<PlannedAdd> plan;
    std::optional<ExistingChoice::Action> forAll;
    for (const auto& path : paths) {
        PlannedAdd item{path, TKiv::AddMode::Replace};
        if (std::find(existing.begin(), existing.end(), path) != existing.end()) {
            ExistingChoice::Action action;
            if (forAll) {
                action = *forAll;
            } else {
                const ExistingChoice choice = ask(path);
                action = choice.action;
                if (choice.applyToAll) forAll = action;
            }
            if (action == ExistingChoice::Action::Cancel) return std::nullopt;
            if (action == ExistingChoice::Action::KeepBoth) item.mode = TKiv::AddMode::KeepBoth;
        }
        plan.push_back(std::move(item));
    }
    return plan;
}

QString renamesText(const std::vector<std::pair<std::string, std::string>>& renames) {
    QStringList lines;
    for (const auto& [from, to] : renames) {
        lines << QString::fromStdString(from) + QStringLiteral(" → ") + QString::fromStdString(to);
    }
    return lines.join(QLatin1Char('\n'));
}

ExistingChoice askExistingItem(QWidget* parent, const std::string& path) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("WinOru"),
                    AddNames::tr("The archive already holds \"%1\".").arg(QString::fromStdString(path)),
                    QMessageBox::NoButton, parent);
    box.setInformativeText(
        AddNames::tr("Replace: store this file in place of the one at the same path in the archive.\n"
                     "Keep Both: store it as well, under its name with ~N added."));
    QPushButton* replace = box.addButton(AddNames::tr("Replace"), QMessageBox::AcceptRole);
    QPushButton* keepBoth = box.addButton(AddNames::tr("Keep Both"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(AddNames::tr("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(replace);
    box.setEscapeButton(cancel);
    auto* all = new QCheckBox(AddNames::tr("Apply to all items"), &box);
    box.setCheckBox(all);
    box.exec();
    ExistingChoice choice;
    choice.applyToAll = all->isChecked();
    if (box.clickedButton() == keepBoth) {
        choice.action = ExistingChoice::Action::KeepBoth;
    } else if (box.clickedButton() == replace) {
        choice.action = ExistingChoice::Action::Replace;
    } else {
        choice.action = ExistingChoice::Action::Cancel;
    }
    return choice;
}

void showRenames(QWidget* parent, const std::vector<std::pair<std::string, std::string>>& renames) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("WinOru"));
    auto* layout = new QVBoxLayout(&dialog);
    const int count = static_cast<int>(renames.size());
    const QString what = AddNames::tr(
        "%n item(s) stored under another name (the name was too long, the same as another item's, "
        "or held characters Big5 cannot represent):",
        nullptr, count);
    auto* label = new QLabel(what, &dialog);
    label->setWordWrap(true);
    layout->addWidget(label);
    auto* list = new QPlainTextEdit(renamesText(renames), &dialog);
    list->setReadOnly(true);
    list->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.resize(640, 360);
    dialog.exec();
}

}  // namespace oru::ui
