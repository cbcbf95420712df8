// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/FileManagerActions.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>

#include <cerrno>
#include <filesystem>
#include <optional>

#include "archive/EntryMeta.h"
#include "catalog/ArchiveSchema.h"
#include "platform/CodePage.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "ui/AddNames.h"
#include "ui/Application.h"
#include "ui/CommandProgress.h"
#include "ui/CommandTexts.h"
#include "ui/Dialogs.h"
#include "ui/ProgressSink.h"
#include "ui/zipmain.h"

namespace oru::ui {

namespace {
// The catalog's context of this file's texts.
struct FileManagerActions {
    Q_DECLARE_TR_FUNCTIONS(FileManagerActions)
};
}  // namespace

namespace {

// The path made absolute against the working directory, without "." or ".." steps and without a
// trailing "/" (so that its last component is the item's name). Links are kept as given.
std::string absolutePath(const std::string& path) {
    std::filesystem::path p = std::filesystem::absolute(path).lexically_normal();
    if (!p.has_filename() && p.has_relative_path()) p = p.parent_path();
    return p.string();
}

// The name of the folder an archive is extracted into: its name without the ".oru" extension
// (or whatever extension it has); the whole name when that would leave nothing.
std::string folderNameFor(const std::string& archivePath) {
    const std::filesystem::path name = std::filesystem::path(archivePath).filename();
    const std::string stem = name.stem().string();
    return stem.empty() ? name.string() : stem;
}

// Makes a new directory (or an empty file) "name", or "name (2)", "name (3)"... in parent, the
// first name not taken, extension after the number, and returns its path. mkdir and O_EXCL claim
// the name, so nothing that appears meanwhile is shared or replaced.
std::string makeNew(const std::string& parent, const std::string& name, const std::string& extension,
                    bool directory) {
    for (int n = 1;; ++n) {
        const std::string path =
            fs::join(parent, (n == 1 ? name : name + " (" + std::to_string(n) + ")") + extension);
        const int fd = directory ? ::mkdir(path.c_str(), 0777)
                                 : ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            if (!directory) ::close(fd);
            return path;
        }
        if (errno != EEXIST)
            throw oru::Error(directory ? ErrorKind::CannotCreateFolder : ErrorKind::CannotCreate,
                             {.path = path, .errnum = errno});
    }
}

bool exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// The names (UTF-8) of the rows the window lists at the top level of its open archive.
std::vector<std::string> topLevelNames(TMainFrm& window) {
    std::vector<std::string> names;
    oru::CatalogTable& catalog = window.CurrentArchive()->Catalog();
    for (catalog.First(); !catalog.AtEnd(); catalog.Next())
        names.push_back(oru::entrymeta::trueName(catalog));
    return names;
}

// path: absolute (the window's file panes change the working directory).
void extractOneHere(const std::string& path) {
    const std::string beside = std::filesystem::path(path).parent_path().string();
    TMainFrm window({path});
    window.FormCreate();  // opens the archive and lists its top level, as at the window's start
    const std::vector<std::string> names = topLevelNames(window);
    if (names.empty()) return;
    const bool straight = names.size() == 1 && !exists(fs::join(beside, names.front()));
    const std::string destination = straight ? beside : makeNew(beside, folderNameFor(path), "", true);
    // The window's own Extract with nothing selected takes every listed row.
    window.extractTo(destination);
}

// Adds paths to the archive at archivePath, which is made anew when create is set (the file may
// exist, empty) and opened otherwise.
bool addInto(const std::string& archivePath, const std::vector<std::string>& paths, bool create) {
    TApplication* app = TApplication::instance();
    std::unique_ptr<oru::TKiv> kiv;
    if (!app->runCommand([&] {
            kiv = create ? oru::TKiv::CreateNew(archivePath) : oru::TKiv::OpenExisting(archivePath);
        }))
        return false;
    std::vector<std::string> absolute;
    for (const std::string& path : paths) absolute.push_back(absolutePath(path));
    // As the window's Add: items the archive holds already are asked about first (Replace, Keep
    // Both, Cancel), and the items stored under another name are listed at the end.
    std::optional<std::vector<PlannedAdd>> plan;
    if (!app->runCommand([&] {
            plan = planAdd(absolute, kiv->AddedBefore(std::string(), absolute),
                           [](const std::string& path) { return dialogs::askExisting(nullptr, path); });
        }))
        return false;
    if (!plan) return false;  // Cancel: nothing added
    CommandProgress progress(dialogs::makeProgress(nullptr, FileManagerActions::tr("Add Files"), true), 0);
    RenameRecorder renames(&progress);
    kiv->SetProgress(&renames);
    bool ok = true;
    for (const PlannedAdd& item : *plan) {
        progress.nextCall();
        if (app->runCommand([&] { kiv->AddPath(std::string(), item.path, item.mode); })) continue;
        ok = false;
        if (progress.cancelled()) break;
    }
    kiv->SetProgress(nullptr);
    if (!renames.renames().empty()) dialogs::showRenamed(nullptr, renames.renames());
    // The items left out, in one message once the rest is in.
    if (const auto& skipped = progress.skippedItems(); !skipped.empty()) {
        app->report((skippedSummary(skipped.size()) + QStringLiteral("\n") + skippedLines(skipped).join(QStringLiteral("\n")))
                        .toStdString());
        ok = false;
    }
    return ok;
}

}  // namespace

bool extractHere(const std::vector<std::string>& archives) {
    TApplication* app = TApplication::instance();
    bool ok = true;
    bool cancelled = false;
    std::vector<std::string> paths;
    for (const std::string& archive : archives) paths.push_back(absolutePath(archive));
    for (const std::string& archive : paths) {
        ok = app->runCommand([&] {
            try {
                extractOneHere(archive);
            } catch (const oru::Error& e) {
                if (e.kind() == ErrorKind::Cancelled) cancelled = true;  // Cancel stops this archive and the ones after it
                throw;
            }
        }) && ok;
        if (cancelled) break;
    }
    return ok;
}

bool addTo(const std::string& archive, const std::vector<std::string>& paths) {
    const std::string archivePath = absolutePath(archive);
    return addInto(archivePath, paths, !fs::fileExists(archivePath));
}

bool addHere(const std::vector<std::string>& paths) {
    if (paths.empty()) return true;
    const std::filesystem::path first = absolutePath(paths.front());
    const std::filesystem::path parent = first.parent_path();
    std::string name;
    if (paths.size() > 1)
        name = parent.filename().string();
    else
        name = (fs::isDirectory(first.string()) ? first.filename() : first.stem()).string();
    if (name.empty()) name = "archive";  // the items lie in "/", or the name is all extension
    std::string archive;
    if (!TApplication::instance()->runCommand([&] { archive = makeNew(parent.string(), name, ".oru", false); }))
        return false;
    return addInto(archive, paths, true);
}

}  // namespace oru::ui
