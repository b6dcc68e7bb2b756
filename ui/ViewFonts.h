#pragma once

#include <QFont>

namespace lurvik {

struct Settings;

// The three views whose fonts the user chooses, each kept in the settings as face, size, weight
// and italic ("TreeFont", "ListFont", "HTMLFont" and their companions).
enum class ViewFont { Tree, List, Html };

// The font stored for a view; without a stored face or size, the desktop's default for it.
QFont viewFont(const Settings& settings, ViewFont view);
void storeViewFont(Settings& settings, ViewFont view, const QFont& font);

} // namespace lurvik
