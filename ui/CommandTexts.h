// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window's commands ask before they destroy something, and what Add tells afterwards:
// the question before New replaces an archive, the question before Delete, the hint when nothing
// is highlighted, and the report of the items Add left out.

#include <QLocale>
#include <QString>
#include <QStringList>
#include <vector>

#include "ui/CommandProgress.h"

namespace oru::ui {

// Asks whether the archive at path (a file name is enough) may be replaced by an empty one.
QString replaceArchiveQuestion(const QString& path);

// One row to delete: its name and whether it is a folder (which takes everything in it along).
struct DeleteItem {
    QString name;
    bool folder = false;
};
// "Delete X?" for one row; for several, the first few names and how many more. items: not empty.
QString deleteQuestion(const std::vector<DeleteItem>& items);
// A size as the window shows it, with the locale's digits and units ("2,93 KiB", "1.000 Bytes"),
// except that a Chinese locale's bytes are named in the window's language.
QString sizeText(qint64 bytes, const QLocale& locale = QLocale());

// Says how to choose what Delete removes, when nothing is highlighted.
QString nothingToDeleteHint();
// View (F3) with nothing selected in the listing: what to do instead.
QString nothingToViewHint();

// Why Add left an item out, in the window's words.
QString skipReasonText(oru::SkipReason reason);
// The report after Add: a summary, and one line per item left out ("path：reason").
QString skippedSummary(size_t count);
QStringList skippedLines(const std::vector<CommandProgress::Skipped>& items);

}  // namespace oru::ui
