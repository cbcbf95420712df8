// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Icons.h"

#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QString>

// The resources live in a static library: make sure they are linked and registered.
static void initIconResources() { Q_INIT_RESOURCE(icons); }

namespace oru::ui::icons {

namespace {

QIcon load(const char* name) {
    static const bool registered = (initIconResources(), true);
    (void)registered;
    // Each image also comes drawn at twice its size (name@2x.png), for screens scaled to 200 %:
    // added here whatever the scale at start, so that a window moved to such a screen is sharp.
    const QString path = QStringLiteral(":/icons/") + QLatin1String(name);
    QIcon icon(path);
    QString doubled = path;
    doubled.insert(doubled.lastIndexOf(u'.'), QStringLiteral("@2x"));
    icon.addFile(doubled);
    return icon;
}

}  // namespace

QIcon toolbarImage(int index) {
    switch (index) {
    case 0: return load("new.png");
    case 2: return load("open.png");
    case 4: return load("add.png");
    case 6: return load("delete.png");
    case 8: return load("view.png");
    case 10: return load("rebuild.png");
    case 14: return load("extract.png");
    case 16: return load("exit.png");
    default: return {};
    }
}

QIcon folder() { return load("folder.png"); }

QIcon folderForListing() {
    static const QIcon icon = QIcon::fromTheme(QStringLiteral("folder"), folder());
    return icon;
}

QIcon forFileName(const QString& name) {
    static QHash<QString, QIcon> bySuffix;  // one look-up per file type
    const QString suffix = QFileInfo(name).suffix().toLower();
    auto it = bySuffix.find(suffix);
    if (it == bySuffix.end()) {
        const QMimeType type = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
        const QIcon fallback = type.name() == u"application/x-ms-dos-executable" ? program() : file();
        QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(), fallback));
        it = bySuffix.insert(suffix, icon);
    }
    return *it;
}
QIcon folderOpen() { return load("folder-open.png"); }
QIcon file() { return load("file.png"); }
QIcon program() { return load("program.png"); }

}  // namespace oru::ui::icons
