#include "ui/Icons.h"

#include <QString>

// The resources live in a static library: make sure they are linked and registered.
static void initIconResources() { Q_INIT_RESOURCE(icons); }

namespace oru::ui::icons {

namespace {

QIcon load(const char* name) {
    static const bool registered = (initIconResources(), true);
    (void)registered;
    return QIcon(QStringLiteral(":/icons/") + QLatin1String(name));
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
QIcon folderOpen() { return load("folder-open.png"); }
QIcon file() { return load("file.png"); }
QIcon program() { return load("program.png"); }

}  // namespace oru::ui::icons
