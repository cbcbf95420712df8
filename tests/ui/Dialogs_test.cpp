// SPDX-License-Identifier: GPL-3.0-or-later
// The answers tests give the window's dialogs ahead of time: queued answers first, in order, then
// the answerer, each kind apart from the others.

#include "ui/Dialogs.h"

#include "UiTestSupport.h"

namespace oru::ui {
namespace {

TEST(DialogsTest, QueuedAnswersComeFirstInOrderThenTheAnswererSeesEachQuestion) {
    QuestionBox::setNextAnswer(true);
    QuestionBox::setNextAnswer(false);
    std::vector<QString> asked;
    QuestionBox::answerWith([&](const QString& question) {
        asked.push_back(question);
        return true;
    });
    const bool answers[] = {dialogs::askYesNo(nullptr, QStringLiteral("one")),
                            dialogs::askYesNo(nullptr, QStringLiteral("two")),
                            dialogs::askYesNo(nullptr, QStringLiteral("three"))};
    EXPECT_TRUE(answers[0]);
    EXPECT_FALSE(answers[1]);
    EXPECT_TRUE(answers[2]);
    EXPECT_EQ(asked, std::vector<QString>{QStringLiteral("three")});  // queued answers see no question

    // The kinds keep their answers apart: Save and Open have the same shape.
    SaveDialog::setNextAnswer(std::string("new.oru"));
    EXPECT_FALSE(OpenDialog::answered());
    QString last;
    EXPECT_EQ(dialogs::askArchivePath(nullptr, true, last), std::optional<std::string>("new.oru"));
    EXPECT_FALSE(SaveDialog::answered());  // a queued answer is used once

    // A dialog that only tells is passed over once, or seen by its answerer.
    NoticeBox::setNextAnswer();
    dialogs::tell(nullptr, QStringLiteral("passed over"));
    EXPECT_FALSE(NoticeBox::answered());

    resetDialogAnswers();
    EXPECT_FALSE(QuestionBox::answered());
}

}  // namespace
}  // namespace oru::ui
