// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CommandTexts.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>

namespace oru::ui {

namespace {
// The catalog's context of this file's texts.
struct CommandTexts {
    Q_DECLARE_TR_FUNCTIONS(CommandTexts)
};

constexpr size_t kNamesShown = 5;  // rows named in Delete's question; the rest are counted
}  // namespace

QString replaceArchiveQuestion(const QString& path) {
    return CommandTexts::tr("\"%1\" already exists.\nReplace it with an empty archive? Everything in it will be deleted.")
        .arg(QFileInfo(path).fileName());
}

QString deleteQuestion(const std::vector<DeleteItem>& items) {
    if (items.size() == 1) {
        const DeleteItem& item = items.front();
        return item.folder ? CommandTexts::tr("Delete \"%1\" and everything in it?").arg(item.name)
                           : CommandTexts::tr("Delete \"%1\"?").arg(item.name);
    }
    QString text = CommandTexts::tr("Delete these %1 items?").arg(items.size()) + u'\n';
    for (size_t i = 0; i < items.size() && i < kNamesShown; ++i) {
        text += QStringLiteral("\n%1%2").arg(items[i].name, items[i].folder ? CommandTexts::tr(" (and everything in it)") : QString());
    }
    if (items.size() > kNamesShown) {
        const int more = static_cast<int>(items.size() - kNamesShown);
        text += u'\n' + CommandTexts::tr("...and %n more item(s)", nullptr, more);
    }
    return text;
}

QString sizeText(qint64 bytes, const QLocale& locale) {
    // Qt names the unit below a kibibyte in English for Chinese locales ("0 byte"): that word
    // follows the window's language there. Larger units are symbols ("KiB").
    const int small = static_cast<int>(bytes);
    if (locale.language() == QLocale::Chinese && bytes >= 0 && bytes < 1024)
        return CommandTexts::tr("%Ln byte(s)", nullptr, small);
    return locale.formattedDataSize(bytes);
}

QString nothingToDeleteHint() {
    return CommandTexts::tr("First select the items to delete in the list (hold Ctrl to select several), then press Delete.");
}

QString nothingToViewHint() {
    return CommandTexts::tr("First select the file to view in the list, then press F3.");
}

QString skipReasonText(oru::SkipReason reason) {
    using R = oru::SkipReason;
    switch (reason) {
        case R::Denied: return CommandTexts::tr("no permission to read it");
        case R::Missing: return CommandTexts::tr("not found (it may have been moved or deleted)");
        case R::BrokenLink: return CommandTexts::tr("a symbolic link to an item that does not exist");
        case R::ReadError: return CommandTexts::tr("an error occurred while reading it");
        case R::Unlistable: return CommandTexts::tr("the folder's contents cannot be listed");
        case R::InUse: return CommandTexts::tr("another program is using it");
        case R::NotAFile: return CommandTexts::tr("not a file or folder");
        case R::ArchiveItself: return CommandTexts::tr("this is the archive being added to");
    }
    return CommandTexts::tr("cannot be read");
}

QString skippedSummary(size_t count) {
    const int n = static_cast<int>(count);
    return CommandTexts::tr("%n item(s) could not be added; everything else was added:", nullptr, n);
}

QStringList skippedLines(const std::vector<CommandProgress::Skipped>& items) {
    QStringList lines;
    for (const auto& item : items)
        lines << CommandTexts::tr("%1: %2").arg(QString::fromStdString(item.path), skipReasonText(item.reason));
    return lines;
}

}  // namespace oru::ui
