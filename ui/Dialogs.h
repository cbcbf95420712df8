// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The dialogs the window's commands put to the user, each reached through one function, and one
// "next answer" facility per kind of dialog. Before it shows a dialog, the function asks the
// facility of its kind: an answer given ahead of time (setNextAnswer, answerWith) is used and no
// dialog appears. Tests answer the window's questions this way, without a display; the program
// itself never gives one.

#include <QString>
#include <QStringList>
#include <concepts>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "archive/Progress.h"
#include "ui/AddNames.h"
#include "ui/ConflictDialog.h"

class QWidget;

namespace oru::ui {

// The answers given ahead of time to the dialogs of one kind. Kind: the kind's own type (so each
// kind keeps answers of its own); Answer(Question...): what the dialog is asked and answers.
template <class Kind, class Signature>
class NextAnswer;

template <class Kind, class Answer, class... Question>
class NextAnswer<Kind, Answer(Question...)> {
public:
    using Answerer = std::function<Answer(Question...)>;

    // The next dialog of this kind is not shown and gives answer; answers set in a row are used
    // in that order.
    template <class A>
        requires(!std::is_void_v<Answer> && std::copy_constructible<Answer> && std::convertible_to<A, Answer>)
    static void setNextAnswer(A answer) {
        queued().push_back([a = Answer(std::move(answer))](Question...) { return a; });
    }
    // The next dialog of this kind (one that only tells) is not shown.
    static void setNextAnswer()
        requires std::is_void_v<Answer>
    {
        queued().push_back([](Question...) {});
    }
    // Every dialog of this kind, once the answers set ahead are used, is answered by answerer,
    // which is given what the dialog would have shown. Null: such dialogs are shown again.
    static void answerWith(Answerer answerer) { always() = std::move(answerer); }
    // Forgets every answer given ahead of time.
    static void reset() {
        queued().clear();
        always() = nullptr;
    }

    // For the dialog's function: whether an answer was given ahead of time, and that answer.
    // take() only when answered().
    static bool answered() { return !queued().empty() || always() != nullptr; }
    static Answer take(Question... question) {
        if (!queued().empty()) {
            const Answerer next = std::move(queued().front());
            queued().pop_front();
            return next(question...);
        }
        return always()(question...);
    }

private:
    static std::deque<Answerer>& queued() {
        static std::deque<Answerer> answers;
        return answers;
    }
    static Answerer& always() {
        static Answerer answerer;
        return answerer;
    }
};

using Renames = std::vector<std::pair<std::string, std::string>>;  // (source, stored name)

// The kinds of dialog. nullopt answers stand for Cancel.
// A question answered Yes (true) or No: Delete's, New's before it replaces an archive, the folder
// chooser's before it creates a directory.
struct QuestionBox : NextAnswer<QuestionBox, bool(const QString& question)> {};
// A message that needs no answer (what to do instead).
struct NoticeBox : NextAnswer<NoticeBox, void(const QString& text)> {};
// A command's report: a summary and a list of items (Test's damaged entries, the items Add left
// out).
struct ReportDialog
    : NextAnswer<ReportDialog, void(const QString& title, const QString& summary, const QStringList& items)> {};
// After Add: the items stored under another name.
struct RenamesDialog : NextAnswer<RenamesDialog, void(const Renames& renames)> {};
// New's file dialog (SaveDialog1) and Open's (OpenDialog1): the archive's path.
struct SaveDialog : NextAnswer<SaveDialog, std::optional<std::string>()> {};
struct OpenDialog : NextAnswer<OpenDialog, std::optional<std::string>()> {};
// Extract's folder chooser (TSelectDirDlg): the directory to extract into.
struct FolderChooser : NextAnswer<FolderChooser, std::optional<std::string>()> {};
// Extract's question about a file in the way (TConflictDlg).
struct ConflictQuestion : NextAnswer<ConflictQuestion, ConflictAnswer(const std::string& path)> {};
// Add's question about a selected item the archive holds already.
struct ExistingQuestion : NextAnswer<ExistingQuestion, ExistingChoice(const std::string& path)> {};
// The progress dialog of a long command: the sink that receives its progress.
struct ProgressDialog
    : NextAnswer<ProgressDialog, std::unique_ptr<oru::Progress>(const QString& title, bool cancellable)> {};
// The desktop's application for a file's type, opening a file extracted for the user.
struct ExternalOpener : NextAnswer<ExternalOpener, void(const QString& path)> {};

// Forgets the answers given ahead of time to every kind.
void resetDialogAnswers();

// The functions that show the dialogs (modally, over parent), each answered ahead of time by the
// kind named.
namespace dialogs {
// yes, no: the buttons' texts when they must differ from Qt's (which speak the window's language).
bool askYesNo(QWidget* parent, const QString& question, const QString& yes = {},
              const QString& no = {});               // QuestionBox
void tell(QWidget* parent, const QString& text);          // NoticeBox
void showReport(QWidget* parent, const QString& title, const QString& summary,
                const QStringList& items);                          // ReportDialog
void showRenamed(QWidget* parent, const Renames& renames);          // RenamesDialog
// SaveDialog or OpenDialog; last: the name last chosen in that dialog, offered again and updated.
std::optional<std::string> askArchivePath(QWidget* parent, bool save, QString& last);
std::optional<std::string> askFolder(QWidget* parent);                         // FolderChooser
// entry: the archive's file that would replace it (null: not known), shown beside it.
ConflictAnswer askConflict(QWidget* parent, const std::string& path,
                           const ConflictEntry* entry = nullptr);             // ConflictQuestion
ExistingChoice askExisting(QWidget* parent, const std::string& path);          // ExistingQuestion
std::unique_ptr<oru::Progress> makeProgress(QWidget* parent, const QString& title,
                                            bool cancellable);                 // ProgressDialog
// Hands path to the desktop's application for its type (xdg-open); tells the user, over parent,
// when none opens it.
void openExternally(QWidget* parent, const QString& path);                     // ExternalOpener
}  // namespace dialogs

}  // namespace oru::ui
