// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's Test and Properties: the figures of an open archive, the integrity test of every
// stored file, and the two dialogs that show them.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archive/zipUtil.h"

namespace oru::ui {

struct ArchiveProperties {
    std::string path;
    int64_t fileSize = 0;
    int folders = 0, files = 0;
    int others = 0;            // rows of an unknown type: neither folders nor files
    int64_t originalBytes = 0, storedBytes = 0;
    int64_t deadBytes = 0;     // between the header and the catalog, held by no row
    int64_t catalogBytes = 0;  // from CatalogOffset to the end of the file
    double created = 0;        // the header's date-time
};

// The figures of archive (oru::ArchiveFigures), as the dialog shows them.
ArchiveProperties propertiesOf(oru::TKiv& archive);
// The dialog's lines: caption and value, in the locale's number and size formats.
std::vector<std::pair<QString, QString>> propertyLines(const ArchiveProperties& p, const QLocale& locale);

struct TestResult {
    int checked = 0;
    QStringList damaged;  // "folder/name: reason" of each damaged stored file (oru::TestJob)
};

// Runs oru::TestJob over archive, reporting to progress; Cancelled when the user stops it. A
// damaged file (one that does not decode, or decodes to another length than its recorded size)
// is listed and the test goes on.
TestResult testEntries(oru::TKiv& archive, oru::Progress& progress);

// A dialog with the archive's properties, one caption and value per line.
class TPropertiesDlg : public QDialog {
    Q_OBJECT
public:
    TPropertiesDlg(QWidget* parent, const std::vector<std::pair<QString, QString>>& lines);
    QString valueOf(const QString& caption) const;

private:
    std::vector<std::pair<QString, QString>> lines_;
};

// Shows a summary and a list of items (the damaged entries) with an OK button, modally.
void showListDialog(QWidget* parent, const QString& title, const QString& summary, const QStringList& items);

}  // namespace oru::ui
