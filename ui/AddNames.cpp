#include "ui/AddNames.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace oru::ui {

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
                    QStringLiteral("壓縮檔中已有「%1」。").arg(QString::fromStdString(path)), QMessageBox::NoButton,
                    parent);
    box.setInformativeText(QStringLiteral("取代：以這次的檔案取代壓縮檔中同一路徑的檔案。\n"
                                          "兩者都保留：以加上 ~N 的名稱另存一份。"));
    QPushButton* replace = box.addButton(QStringLiteral("取代"), QMessageBox::AcceptRole);
    QPushButton* keepBoth = box.addButton(QStringLiteral("兩者都保留"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(replace);
    box.setEscapeButton(cancel);
    auto* all = new QCheckBox(QStringLiteral("套用到所有項目"), &box);
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
    const QString what =
        QStringLiteral("下列 %1 個項目以不同的名稱存入壓縮檔（名稱太長、與其他項目相同，或含有 Big5 無法表示的字元）：");
    auto* label = new QLabel(what.arg(renames.size()), &dialog);
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
