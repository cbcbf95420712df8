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

#include "platform/CodePage.h"
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

namespace {

// Counts the content written to it and keeps none of it.
class CountingSink : public oru::Stream {
public:
    size_t read(void*, size_t) override { return 0; }
    void write(const void*, size_t n) override { count_ += static_cast<int64_t>(n); }
    int64_t position() const override { return count_; }
    void seek(int64_t) override {}
    int64_t size() const override { return count_; }
    void setSize(int64_t) override {}
    int64_t count() const { return count_; }

private:
    int64_t count_ = 0;
};

// Every row of archive's catalog, in catalog order, whatever folder the window shows.
std::unique_ptr<oru::CatalogTable> allRows(oru::TKiv& archive) {
    auto all = std::make_unique<oru::CatalogTable>();
    all->CloneFrom(archive.Catalog());
    all->SetFiltered(false);
    return all;
}

}  // namespace

ArchiveProperties propertiesOf(oru::TKiv& archive) {
    ArchiveProperties p;
    p.path = archive.ArchivePath();
    p.fileSize = QFileInfo(QString::fromStdString(p.path)).size();
    p.created = archive.Header().Created;
    const auto all = allRows(archive);
    for (int i = 0; i < all->ViewSize(); ++i) {
        if (all->IntegerAt(i, "FileType") == 0) {
            ++p.folders;
            continue;
        }
        ++p.files;
        p.originalBytes += all->IntegerAt(i, "OriginalSize");
        p.storedBytes += all->IntegerAt(i, "StoredSize");
    }
    const int64_t catalogOffset = archive.Header().CatalogOffset;
    p.catalogBytes = std::max<int64_t>(0, p.fileSize - catalogOffset);
    p.deadBytes = std::max<int64_t>(0, catalogOffset - oru::kHeaderSize - p.storedBytes);
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
    const QString contents = ArchiveReport::tr("%1, %2")
                                 .arg(ArchiveReport::tr("%n folder(s)", nullptr, p.folders),
                                      ArchiveReport::tr("%n file(s)", nullptr, p.files));
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
    const auto all = allRows(archive);
    oru::Progress::Info info;
    for (all->First(); !all->AtEnd(); all->Next()) {
        if (all->GetInteger("FileType") != 1) continue;
        if (progress.cancelled()) throw oru::Cancelled();
        std::string label = oru::cp950::toUtf8(all->GetText("FileName"));
        if (const std::string parent = all->GetText("ParentName"); !parent.empty())
            label = oru::cp950::toUtf8(parent) + "/" + label;
        CountingSink sink;
        try {
            archive.ReadEntry(*all, sink);
        } catch (const oru::Cancelled&) {
            throw;
        } catch (const oru::Error& e) {
            // The test's finding, not its failure: list it and go on with the next file.
            result.damaged << QString::fromStdString(label + ": " + oru::displayText(e.what()));
        }
        ++result.checked;
        info.itemsDone = static_cast<uint64_t>(result.checked);
        info.bytesDone += static_cast<uint64_t>(sink.count());
        info.currentName = label;
        progress.update(info);
    }
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
