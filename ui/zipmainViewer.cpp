// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's ways of looking at a stored file: the viewer, opening a row of the listing,
// and dragging rows out to a file manager.

#include "ui/zipmain.h"

#include <QDir>
#include <QLocale>
#include <QMimeData>
#include <QMimeDatabase>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>

#include "catalog/ArchiveSchema.h"
#include "platform/CodePage.h"
#include "platform/Error.h"
#include "ui/Browse.h"
#include "ui/CatalogModel.h"
#include "ui/CommandTexts.h"
#include "ui/DBGrid.h"
#include "ui/Dialogs.h"
#include "ui/zipmainParts.h"

namespace oru::ui {

using namespace mainframe;

namespace {

// The first bytes of an entry's content, for the viewer.
struct HeadOfEntry {
    std::string bytes;
    bool cut = false;  // the content goes on beyond bytes
};

// Keeps the first limit bytes written to it and stops the decoding once one more arrives.
class HeadSink : public oru::Stream {
public:
    struct Full {};  // thrown out of ReadEntry: the rest of the content is not needed
    explicit HeadSink(size_t limit) : limit_(limit) {}
    size_t read(void*, size_t) override { return 0; }
    void write(const void* buffer, size_t n) override {
        const size_t room = limit_ - head_.bytes.size();
        head_.bytes.append(static_cast<const char*>(buffer), std::min(n, room));
        if (n > room) {
            head_.cut = true;
            throw Full{};
        }
    }
    int64_t position() const override { return static_cast<int64_t>(head_.bytes.size()); }
    void seek(int64_t) override {}
    int64_t size() const override { return static_cast<int64_t>(head_.bytes.size()); }
    void setSize(int64_t) override {}
    HeadOfEntry take() { return std::move(head_); }

private:
    size_t limit_;
    HeadOfEntry head_;
};

// The first limit bytes of the content of catalog's current row; fails as ReadEntry does.
HeadOfEntry readHead(oru::TKiv& archive, oru::CatalogTable& catalog, int64_t limit) {
    HeadSink sink(static_cast<size_t>(limit));
    try {
        archive.ReadEntry(catalog, sink);
    } catch (const HeadSink::Full&) {
        // Enough for the view; the decoder released what it held on the way out.
    }
    return sink.take();
}

}  // namespace

QMimeData* TMainFrm::dragData() {
    QMimeData* data = nullptr;
    runCommand([this, &data] {
        BusyScope busy(busy_);
        if (!busy.entered() || DBGrid1->SelectedCount() == 0) return;
        oru::TKiv& archive = requireArchive();
        // The rows go to a private folder first; the file manager copies them from there.
        const QString folder = newPrivateFolder();
        extractSelection(archive, toNative(folder));
        QList<QUrl> urls;
        const QDir dir(folder);
        for (const QString& name : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
            urls << QUrl::fromLocalFile(dir.filePath(name));
        data = new QMimeData;
        data->setUrls(urls);
    });
    return data;
}

QString TMainFrm::newPrivateFolder() {
    if (!privateFiles_) privateFiles_ = std::make_unique<QTemporaryDir>();
    if (!privateFiles_->isValid())
        throw oru::Error(oru::ErrorKind::CannotCreateFolder, {.path = toNative(QDir::tempPath())});
    const QString folder = privateFiles_->filePath(QString::number(++privateCount_));
    if (!QDir().mkpath(folder)) throw oru::Error(oru::ErrorKind::CannotCreateFolder, {.path = toNative(folder)});
    return folder;
}

void TMainFrm::BtnBrowseClick() {
    BusyScope busy(busy_);
    if (!busy.entered()) return;
    oru::TKiv& archive = requireArchive();
    oru::CatalogTable& catalog = archive.Catalog();
    if (catalog.IsEmpty()) return;
    showInViewer(archive, catalog);
}

void TMainFrm::showInViewer(oru::TKiv& archive, oru::CatalogTable& catalog) {
    // A folder row fails here, before any window exists.
    const HeadOfEntry head = readHead(archive, catalog, kViewLimit);
    const std::string name = oru::cp950::toUtf8(catalog.GetText(oru::schema::kFileName));
    auto* viewer = new TfmBrowse(this);
    viewer->setWindowTitle(QString::fromStdString(name));
    if (isHtmlName(name))
        viewer->writeDocument(browseText(head.bytes));
    else
        viewer->writePlainText(plainText(head.bytes, head.cut));
    if (head.cut) {
        const QLocale locale;
        viewer->setNote(tr("The file is too large: showing the first %1 of %2")
                            .arg(sizeText(static_cast<qint64>(head.bytes.size()), locale),
                                 sizeText(catalog.GetInteger(oru::schema::kOriginalSize), locale)));
    }
    viewer->show();
}

void TMainFrm::openRow(int row) {
    BusyScope busy(busy_);
    if (!busy.entered() || row < 0 || row >= DataSource1->rowCount()) return;
    if (DataSource1->showsFolderPaths()) return showInItsFolder(row);  // a result of the search
    oru::TKiv& archive = requireArchive();
    oru::CatalogTable& catalog = archive.Catalog();
    DataSource1->setCurrentRow(row);
    if (DataSource1->isFolder(row)) {
        // The folder's node below the node shown.
        const QByteArray name = QByteArray::fromStdString(catalog.GetText(oru::schema::kFileName));
        QTreeWidgetItem* node = tv->currentItem();
        for (int i = 0; node && i < node->childCount(); ++i)
            if (node->child(i)->data(0, kNameRole).toByteArray() == name) return tv->setCurrentItem(node->child(i));
        return;
    }
    const std::string name = oru::cp950::toUtf8(catalog.GetText(oru::schema::kFileName));
    const HeadOfEntry head = readHead(archive, catalog, 64 << 10);
    const QMimeType type = QMimeDatabase().mimeTypeForFileNameAndData(
        QString::fromStdString(name), QByteArray::fromStdString(head.bytes));
    if (isHtmlName(name) || type.inherits(QStringLiteral("text/plain"))) return showInViewer(archive, catalog);

    // Anything else goes to the desktop's application for its type, from a private folder.
    const QString folder = newPrivateFolder();
    archive.ExtractEntry(catalog, toNative(folder));
    const QStringList written = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    if (!written.isEmpty()) dialogs::openExternally(QDir(folder).filePath(written.front()));
}

}  // namespace oru::ui
