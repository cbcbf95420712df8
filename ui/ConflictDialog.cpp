#include "ui/ConflictDialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace oru::ui {

TConflictDlg::TConflictDlg(const std::string& path, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ConflictDlg"));
    setWindowTitle(QStringLiteral("檔案已經存在"));
    auto* layout = new QVBoxLayout(this);
    auto* question = new QLabel(QStringLiteral("「%1」已經存在。\n要以壓縮檔中的檔案覆蓋它嗎？")
                                    .arg(QString::fromStdString(path)),
                                this);
    question->setObjectName(QStringLiteral("Question"));
    question->setWordWrap(true);
    question->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(question);
    applyToAll_ = new QCheckBox(QStringLiteral("之後的衝突都這樣處理"), this);
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
    addButton("BtnOverwrite", QStringLiteral("覆蓋"), oru::ConflictChoice::Overwrite);
    addButton("BtnSkip", QStringLiteral("略過"), oru::ConflictChoice::Skip)->setDefault(true);
    addButton("BtnKeepBoth", QStringLiteral("兩者都保留"), oru::ConflictChoice::KeepBoth);
    addButton("BtnCancel", QStringLiteral("取消"), oru::ConflictChoice::Cancel);
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
