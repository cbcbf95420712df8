// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's 16 x 16 images, compiled in from icons.qrc.

#include <QIcon>

namespace oru::ui::icons {

// The toolbar's image list by index: 0 new, 2 open, 4 add, 6 delete, 8 view, 10 rebuild,
// 14 extract, 16 exit; other indexes give an empty icon.
QIcon toolbarImage(int index);
QIcon folder();      // the tree's node image and directory items
QIcon folderOpen();  // the directory pane's path levels
QIcon file();
QIcon program();
// The listing's icons: the desktop theme's folder icon and the icon of a file's type (by its
// name), our own images where the theme has none.
QIcon folderForListing();
QIcon forFileName(const QString& name);

}  // namespace oru::ui::icons
