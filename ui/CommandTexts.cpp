#include "ui/CommandTexts.h"

#include <QFileInfo>

namespace oru::ui {

namespace {
constexpr size_t kNamesShown = 5;  // rows named in Delete's question; the rest are counted
}

QString replaceArchiveQuestion(const QString& path) {
    return QStringLiteral("「%1」已經存在。\n要以空的壓縮檔取代它嗎？它裡面的所有項目都會被刪除。")
        .arg(QFileInfo(path).fileName());
}

QString deleteQuestion(const std::vector<DeleteItem>& items) {
    if (items.size() == 1) {
        const DeleteItem& item = items.front();
        return item.folder ? QStringLiteral("要刪除「%1」和它裡面的所有項目嗎？").arg(item.name)
                           : QStringLiteral("要刪除「%1」嗎？").arg(item.name);
    }
    QString text = QStringLiteral("要刪除這 %1 個項目嗎？\n").arg(items.size());
    for (size_t i = 0; i < items.size() && i < kNamesShown; ++i) {
        text += QStringLiteral("\n%1%2").arg(items[i].name, items[i].folder ? QStringLiteral("（和它裡面的所有項目）") : QString());
    }
    if (items.size() > kNamesShown) text += QStringLiteral("\n……以及另外 %1 個項目").arg(items.size() - kNamesShown);
    return text;
}

QString nothingToDeleteHint() {
    return QStringLiteral("請先在清單中選取要刪除的項目（按住 Ctrl 可以選取多個），再按「刪除」。");
}

QString skipReasonText(oru::SkipReason reason) {
    using R = oru::SkipReason;
    switch (reason) {
        case R::Denied: return QStringLiteral("沒有讀取權限");
        case R::Missing: return QStringLiteral("找不到（可能已被移走或刪除）");
        case R::BrokenLink: return QStringLiteral("符號連結指向不存在的項目");
        case R::ReadError: return QStringLiteral("讀取時發生錯誤");
        case R::Unlistable: return QStringLiteral("無法列出資料夾的內容");
        case R::InUse: return QStringLiteral("另一個程式正在使用");
        case R::NotAFile: return QStringLiteral("不是檔案或資料夾");
        case R::ArchiveItself: return QStringLiteral("這是正在加入的壓縮檔本身");
    }
    return QStringLiteral("無法讀取");
}

QString skippedSummary(size_t count) {
    return QStringLiteral("%1 個項目無法加入，其餘的都已加入：").arg(count);
}

QStringList skippedLines(const std::vector<CommandProgress::Skipped>& items) {
    QStringList lines;
    for (const auto& item : items)
        lines << QStringLiteral("%1：%2").arg(QString::fromStdString(item.path), skipReasonText(item.reason));
    return lines;
}

}  // namespace oru::ui
