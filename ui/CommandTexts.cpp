#include "ui/CommandTexts.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>

namespace oru::ui {

namespace {
constexpr size_t kNamesShown = 5;  // rows named in Delete's question; the rest are counted
}

QString replaceArchiveQuestion(const QString& path) {
    return QCoreApplication::translate("CommandTexts", "\"%1\" already exists.\nReplace it with an empty archive? Everything in it will be deleted.")
        .arg(QFileInfo(path).fileName());
}

QString deleteQuestion(const std::vector<DeleteItem>& items) {
    if (items.size() == 1) {
        const DeleteItem& item = items.front();
        return item.folder ? QCoreApplication::translate("CommandTexts", "Delete \"%1\" and everything in it?").arg(item.name)
                           : QCoreApplication::translate("CommandTexts", "Delete \"%1\"?").arg(item.name);
    }
    QString text = QCoreApplication::translate("CommandTexts", "Delete these %1 items?").arg(items.size()) + u'\n';
    for (size_t i = 0; i < items.size() && i < kNamesShown; ++i) {
        text += QStringLiteral("\n%1%2").arg(items[i].name, items[i].folder ? QCoreApplication::translate("CommandTexts", " (and everything in it)") : QString());
    }
    if (items.size() > kNamesShown) {
        const int more = static_cast<int>(items.size() - kNamesShown);
        text += u'\n' + QCoreApplication::translate("CommandTexts", "...and %n more item(s)", nullptr, more);
    }
    return text;
}

QString sizeText(qint64 bytes, const QLocale& locale) {
    // Qt names the unit below a kibibyte in English for Chinese locales ("0 byte"): that word
    // follows the window's language there. Larger units are symbols ("KiB").
    const int small = static_cast<int>(bytes);
    if (locale.language() == QLocale::Chinese && bytes >= 0 && bytes < 1024)
        return QCoreApplication::translate("CommandTexts", "%Ln byte(s)", nullptr, small);
    return locale.formattedDataSize(bytes);
}

QString nothingToDeleteHint() {
    return QCoreApplication::translate("CommandTexts", "First select the items to delete in the list (hold Ctrl to select several), then press Delete.");
}

QString skipReasonText(oru::SkipReason reason) {
    using R = oru::SkipReason;
    switch (reason) {
        case R::Denied: return QCoreApplication::translate("CommandTexts", "no permission to read it");
        case R::Missing: return QCoreApplication::translate("CommandTexts", "not found (it may have been moved or deleted)");
        case R::BrokenLink: return QCoreApplication::translate("CommandTexts", "a symbolic link to an item that does not exist");
        case R::ReadError: return QCoreApplication::translate("CommandTexts", "an error occurred while reading it");
        case R::Unlistable: return QCoreApplication::translate("CommandTexts", "the folder's contents cannot be listed");
        case R::InUse: return QCoreApplication::translate("CommandTexts", "another program is using it");
        case R::NotAFile: return QCoreApplication::translate("CommandTexts", "not a file or folder");
        case R::ArchiveItself: return QCoreApplication::translate("CommandTexts", "this is the archive being added to");
    }
    return QCoreApplication::translate("CommandTexts", "cannot be read");
}

QString skippedSummary(size_t count) {
    const int n = static_cast<int>(count);
    return QCoreApplication::translate("CommandTexts", "%n item(s) could not be added; everything else was added:", nullptr, n);
}

QStringList skippedLines(const std::vector<CommandProgress::Skipped>& items) {
    QStringList lines;
    for (const auto& item : items)
        lines << QCoreApplication::translate("CommandTexts", "%1: %2").arg(QString::fromStdString(item.path), skipReasonText(item.reason));
    return lines;
}

}  // namespace oru::ui
