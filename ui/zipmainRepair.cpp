// SPDX-License-Identifier: GPL-3.0-or-later
// File > Repair...: salvage of a damaged archive into a new one, and the word the window gives
// when opening or Test finds damage.
#include <QDir>
#include <QFileInfo>

#include "archive/SalvageJob.h"
#include "archive/TestJob.h"
#include "platform/Error.h"
#include "ui/CommandProgress.h"
#include "ui/Dialogs.h"
#include "ui/zipmain.h"
#include "ui/zipmainParts.h"

namespace oru::ui {

using namespace mainframe;

namespace {

// Failures of opening that mean the archive's bytes are damaged (not a missing file, a lock or
// a permission): salvage may save what the damage left.
bool isDamage(oru::ErrorKind kind) {
    switch (kind) {
        case oru::ErrorKind::BadFormat:
        case oru::ErrorKind::DamagedCatalog:
        case oru::ErrorKind::CatalogStatus:
        case oru::ErrorKind::FieldNotFound:
        case oru::ErrorKind::FieldType:
        case oru::ErrorKind::Unrecoverable:
            return true;
        default:
            return false;
    }
}

// "photos.oru" -> "photos-repaired.oru", beside it.
QString repairedName(const std::string& archive) {
    const QFileInfo info(QString::fromStdString(archive));
    return info.dir().filePath(info.completeBaseName() + QStringLiteral("-repaired.oru"));
}

}  // namespace

void TMainFrm::openOrOfferRepair(const std::string& path) {
    try {
        openArchive(path);
        damagedPath_.clear();
    } catch (const oru::Error& e) {
        if (isDamage(e.kind())) damagedPath_ = path;
        throw;  // the central handler shows why it did not open
    }
}

void TMainFrm::offerRepairAfterFailure() {
    if (damagedPath_.empty() || CurrentArchive_) return;
    setOutcome(tr("%1 is damaged: File > Repair... writes every file that can be verified into a new archive.")
                   .arg(QFileInfo(QString::fromStdString(damagedPath_)).fileName()));
}

void TMainFrm::offerRepairAfterTest(int damaged) {
    if (damaged == 0) return;
    setOutcome(tr("%n file(s) damaged: File > Repair... writes every file that can be verified into a new archive.",
                  nullptr, damaged));
}

void TMainFrm::repairArchive() {
    BusyScope busy(busy_);
    if (!busy.entered()) return;
    std::string source = CurrentArchive_ ? ArchiveFileName_ : damagedPath_;
    if (source.empty()) {
        const std::optional<std::string> chosen = dialogs::askArchivePath(this, false, lastOpenName_);
        if (!chosen) return;
        source = *chosen;
    }
    QString suggested = repairedName(source);
    const std::optional<std::string> target = dialogs::askArchivePath(this, true, suggested);
    if (!target) return;
    CommandProgress progress(dialogs::makeProgress(this, tr("Repair"), true),
                             static_cast<uint64_t>(QFileInfo(QString::fromStdString(source)).size()));
    progress.stopWhen(closeRequested_);
    const oru::SalvageReport report = oru::SalvageJob(source, *target, &progress).Run();

    QStringList items;
    int madeUp = 0;
    if (report.catalogDamage) {
        items << tr("Catalog unreadable: %1").arg(QString::fromStdString(oru::displayText(oru::TestJob::ReasonText(*report.catalogDamage))));
    }
    for (const oru::SalvagedFile& f : report.files) {
        if (f.source != oru::SalvageSource::Scan) continue;
        ++madeUp;
        items << tr("Found: %1 (from offset %2)").arg(QString::fromStdString(f.path)).arg(f.offset);
    }
    for (const oru::LostRow& row : report.lost) {
        items << tr("Lost: %1: %2").arg(QString::fromStdString(row.path),
                                        QString::fromStdString(oru::displayText(oru::TestJob::ReasonText(row.reason))));
    }
    const QString into = QFileInfo(QString::fromStdString(*target)).fileName();
    const int files = static_cast<int>(report.files.size());
    const QString summary =
        report.complete()
            ? tr("Every file came back: %n file(s) written to %1.", nullptr, files).arg(into)
            : tr("%n file(s) written to %1, %2 of them under made-up names; %3 lost.", nullptr, files)
                  .arg(into)
                  .arg(madeUp)
                  .arg(report.lost.size());
    setOutcome(summary);
    dialogs::showReport(this, tr("Repair"), summary, items);
}

}  // namespace oru::ui
