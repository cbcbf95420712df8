// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ArchiveReport.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

#include "archive/ArchiveFigures.h"
#include "archive/TestJob.h"
#include "platform/Error.h"
#include "ui/CatalogModel.h"
#include "ui/CommandTexts.h"

namespace oru::ui {

namespace {
// The catalog's context of this file's texts.
struct ArchiveReport {
    Q_DECLARE_TR_FUNCTIONS(ArchiveReport)
};
}  // namespace

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
        const int count = static_cast<int>(std::min<int64_t>(n, std::numeric_limits<int>::max()));  // picks the plural
        return ArchiveReport::tr("%1 (%2 byte(s))", nullptr, count)
            .arg(sizeText(n, locale), locale.toString(static_cast<qlonglong>(n)));
    };
    const QString ratio = p.originalBytes > 0
                              ? locale.toString(100.0 * static_cast<double>(p.storedBytes) / static_cast<double>(p.originalBytes), 'f', 1) + u'%'
                              : QStringLiteral("-");
    QString contents = ArchiveReport::tr("%1, %2")
                           .arg(ArchiveReport::tr("%n folder(s)", nullptr, p.folders),
                                ArchiveReport::tr("%n file(s)", nullptr, p.files));
    // Rows of a type that is neither folder nor file are counted apart, and only when there are any.
    if (p.others > 0)
        contents = ArchiveReport::tr("%1, %2").arg(contents, ArchiveReport::tr("%n entry(s) of unknown type", nullptr, p.others));
    return {
        {ArchiveReport::tr("Location"), QFileInfo(QString::fromStdString(p.path)).absoluteFilePath()},
        {ArchiveReport::tr("File size"), bytes(p.fileSize)},
        {ArchiveReport::tr("Contents"), contents},
        {ArchiveReport::tr("Original size"), bytes(p.originalBytes)},
        {ArchiveReport::tr("Packed size"), bytes(p.storedBytes)},
        {ArchiveReport::tr("Ratio"), ratio},
        {ArchiveReport::tr("Unused space"), bytes(p.deadBytes)},
        {ArchiveReport::tr("Catalog size"), bytes(p.catalogBytes)},
        {ArchiveReport::tr("Created"), CatalogModel::formatDateTime(p.created, locale)},
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
    setWindowTitle(tr("Archive Properties"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* form = new QFormLayout;
    for (const auto& [caption, value] : lines_) {
        auto* label = new QLabel(value);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(tr("%1:").arg(caption), label);
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
