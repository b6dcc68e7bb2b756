#pragma once

#include <QIcon>

namespace lurvik {

// The program's images, painted rather than loaded so that the binary needs no resource files,
// at the size and pixel ratio each use asks for. The toolbar, and the tree with the link list, take
// the desktop theme's icons instead when the theme has the whole set each needs; the program's
// own icon stays ours. Built on first use on the GUI thread only.
namespace Icons {

// The tree's image list: 0 root, 1 waiting, 2 being fetched or scanned, 3 failed, 4 done, 5 done
// duplicate, 6 blocked by its rating.
QIcon treeIcon(int index);
// The link list's image list, by LinkRecord::iconIndex: 0 to 11 for the link kinds, then the
// file types registered with FileTypeIcons.
QIcon linkIcon(int index);
// The toolbar's button images, by toolbar image number 0 to 14.
QIcon toolbarIcon(int index);
QIcon programIcon();

} // namespace Icons

} // namespace lurvik
