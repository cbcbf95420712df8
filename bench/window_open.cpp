// SPDX-License-Identifier: GPL-3.0-or-later
// Opening an archive of 5,000 folders with two files each (15,000 entries, the folders at the top
// level) in the window, as WinOru does at start: the time from the start of FormCreate until the
// folder tree and the listing are built and painted. Run on a real display server:
//   xvfb-run -a build/bench/window_open [ARCHIVE]
// Without ARCHIVE the archive is made first (below /dev/shm). Prints the milliseconds of each of
// five openings and their median.

#include <QElapsedTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchArchives.h"
#include "ui/Application.h"
#include "ui/CatalogModel.h"
#include "ui/zipmain.h"

int main(int argc, char** argv) {
    oru::ui::TApplication app(argc, argv);
    std::string archive;
    if (argc > 1) {
        archive = argv[1];
    } else {
        std::filesystem::create_directories("/dev/shm/oru-window-bench");
        archive = "/dev/shm/oru-window-bench/5000x2.oru";
        oru::bench::makeShapedArchive(archive, 5000, 2, true);
    }
    std::vector<double> ms;
    for (int run = 0; run < 5; ++run) {
        oru::ui::TMainFrm window({archive});
        window.show();
        app.processEvents();
        QElapsedTimer timer;
        timer.start();
        if (!app.runCommand([&] { window.FormCreate(); })) return 1;
        window.repaint();
        app.processEvents();
        ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        std::printf("open %d: %.0f ms (tree: %d folders at the top, listing: %d rows)\n", run + 1, ms.back(),
                    window.tv->topLevelItem(0)->childCount(), window.listingModel()->rowCount());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("median: %.0f ms\n", ms[ms.size() / 2]);
    return 0;
}
