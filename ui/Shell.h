#pragma once

#include <QString>

class QWidget;

namespace lurvik {

class SiteNode;
struct RatingSettings;
struct Settings;

// Handing work to the desktop: the browser, mail and news programs, the clipboard, the readme.
namespace Shell {

// Opens text in the "DefaultWebBrower" program, or through the desktop's own handler for its
// scheme (xdg-open), unless the ratings refuse node's page. node is null when the address leads
// to no retrieved page. Returns 0 when a program was asked to open it.
int openURL(const QString& text, const SiteNode* node, QWidget* owner, const Settings& settings,
            RatingSettings& ratings);
// The same for a file this program wrote (an exported tree, a report), by its name.
int openFile(const QString& name, QWidget* owner, const Settings& settings, RatingSettings& ratings);

void copyText(const QString& text);

// The readme beside the program; a message box when there is none.
void showReadme(QWidget* owner);

// The program that opens addresses when the settings name none; tests replace it.
QString& desktopOpener();

} // namespace Shell

} // namespace lurvik
