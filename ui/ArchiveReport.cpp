#include "ui/ArchiveReport.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QVBoxLayout>

#include "archive/ArchiveFigures.h"
#include "archive/TestJob.h"
#include "platform/Error.h"
#include "ui/CatalogModel.h"

namespace oru::ui {

ArchiveProperties propertiesOf(oru::TKiv& archive) {
    const oru::ArchiveFigures f = oru::ArchiveFigures::Of(archive);
    ArchiveProperties p;
    p.path = f.path;
    p.fileSize = f.fileSize;
    p.folders = static_cast<int>(f.folders);
    p.files = static_cast<int>(f.files);
    p.others = static_cast<int>(f.others);
    p.originalBytes = f.originalBytes;
    p.storedBytes = f.storedBytes;
    p.deadBytes = f.deadBytes;
    p.catalogBytes = f.catalogBytes;
    p.created = f.created;
    return p;
}

std::vector<std::pair<QString, QString>> propertyLines(const ArchiveProperties& p, const QLocale& locale) {
    auto bytes = [&locale](int64_t n) {
        return QStringLiteral("%1（%2 位元組）").arg(locale.formattedDataSize(n), locale.toString(static_cast<qlonglong>(n)));
    };
    const QString ratio = p.originalBytes > 0
                              ? locale.toString(100.0 * static_cast<double>(p.storedBytes) / static_cast<double>(p.originalBytes), 'f', 1) + u'%'
                              : QStringLiteral("-");
    return {
        {QStringLiteral("位置"), QFileInfo(QString::fromStdString(p.path)).absoluteFilePath()},
        {QStringLiteral("檔案大小"), bytes(p.fileSize)},
        {QStringLiteral("項目"), p.others == 0 ? QStringLiteral("%1 個資料夾，%2 個檔案").arg(p.folders).arg(p.files)
                                               : QStringLiteral("%1 個資料夾，%2 個檔案，%3 個不明類型的項目")
                                                     .arg(p.folders)
                                                     .arg(p.files)
                                                     .arg(p.others)},
        {QStringLiteral("原始大小"), bytes(p.originalBytes)},
        {QStringLiteral("壓縮後"), bytes(p.storedBytes)},
        {QStringLiteral("壓縮率"), ratio},
        {QStringLiteral("未使用空間"), bytes(p.deadBytes)},
        {QStringLiteral("目錄大小"), bytes(p.catalogBytes)},
        {QStringLiteral("建立日期"), CatalogModel::formatDateTime(p.created, locale)},
    };
}

TestResult testEntries(oru::TKiv& archive, oru::Progress& progress) {
    TestResult result;
    const auto report = [&result](const oru::EntryCheck& check) {
        if (check.damage) {
            result.damaged << QString::fromStdString(check.name + ": " +
                                                     oru::displayText(oru::TestJob::ReasonText(*check.damage)));
        }
    };
    result.checked = oru::TestJob(archive, &progress, report).Run().checked;
    return result;
}

TPropertiesDlg::TPropertiesDlg(QWidget* parent, const std::vector<std::pair<QString, QString>>& lines)
    : QDialog(parent), lines_(lines) {
    setObjectName(QStringLiteral("PropertiesDlg"));
    setWindowTitle(QStringLiteral("壓縮檔內容"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* form = new QFormLayout;
    for (const auto& [caption, value] : lines_) {
        auto* label = new QLabel(value);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(caption + u'：', label);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

QString TPropertiesDlg::valueOf(const QString& caption) const {
    for (const auto& [c, v] : lines_)
        if (c == caption) return v;
    return {};
}

void showListDialog(QWidget* parent, const QString& title, const QString& summary, const QStringList& items) {
    QDialog dialog(parent);
    dialog.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(summary));
    if (!items.isEmpty()) {
        auto* list = new QListWidget;
        list->addItems(items);
        layout->addWidget(list);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.exec();
}

}  // namespace oru::ui
