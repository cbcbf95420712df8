// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the file managers' context menus run: "extract here" and "add to archive", each working
// through the same commands as the window, with its progress dialog and its error box, and then
// ending. Each needs the application object (TApplication) to exist.

#include <string>
#include <vector>

namespace oru::ui {

// Extracts each archive beside itself. When its top level holds a single item and nothing of
// that name is beside the archive, the item comes out straight beside it; otherwise everything
// comes out into a new folder named after the archive ("a" for "a.oru"), or "a (2)", "a (3)"...
// when that name is taken, so nothing that was there is touched. An empty archive makes nothing.
// A failure is shown and the next archive goes on; Cancel in the progress dialog stops. Returns
// false when any archive failed or was cancelled.
bool extractHere(const std::vector<std::string>& archives);

// Adds each path (a file, or a folder with everything below it) at the top level of the archive,
// creating the archive when no file of that name exists. A path that fails is shown and the next
// goes on; Cancel in the progress dialog stops. Returns false when anything failed or was
// cancelled.
bool addTo(const std::string& archive, const std::vector<std::string>& paths);

// Adds the paths, as addTo does, to a new archive beside the first of them, named after it
// ("photo.oru" for photo.jpg, "docs.oru" for a folder docs) when it is the only one, and after
// the folder that holds it otherwise; "name (2).oru", "name (3).oru"... when the name is taken.
bool addHere(const std::vector<std::string>& paths);

}  // namespace oru::ui
