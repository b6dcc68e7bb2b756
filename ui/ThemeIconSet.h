#pragma once

#include <QIcon>
#include <QString>

#include <vector>

namespace lurvik {

// One picture of a ThemeIconSet: the desktop's names for it, the first one the theme has being
// taken (themes differ in which of the older names they keep), and an emblem to draw over its
// corner, or null. No names: the program's own picture even under a theme that has the set.
struct ThemePicture {
    std::vector<const char*> names;
    const char* emblem = nullptr;
};

// Pictures that the desktop theme serves all together or not at all: a view drawn half with the
// theme's icons and half with our own would look like two programs. The theme is looked at again
// whenever the desktop changes it. GUI thread only.
class ThemeIconSet {
public:
    explicit ThemeIconSet(std::vector<ThemePicture> pictures);

    // The theme's picture at index; null when the theme lacks any picture of the set, when the
    // entry names none, or when index is outside the set.
    QIcon icon(int index);

private:
    void check();

    std::vector<ThemePicture> m_pictures;
    bool m_checked = false;
    QString m_theme;            // the theme m_icons were made for
    std::vector<QIcon> m_icons; // one per picture; empty when the theme lacks part of the set
};

} // namespace lurvik
