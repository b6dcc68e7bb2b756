#pragma once

#include "RatingSettings.h"
#include "core/Str.h"

#include <functional>

namespace lurvik {

// Password prompt modes, as the ratings dialogs number them.
constexpr int kPromptBlockedWithOverride = 2; // asks for the administrator password
constexpr int kPromptBlockedNotice = 3;       // only says the page is blocked

// The ratings dialogs' askPassword(window, mode), bound to a window: shows the prompt of the
// mode and returns non-zero only when the administrator password was entered correctly. The GUI
// binds its window into it.
using PasswordPrompt = std::function<int(int mode)>;

// Whether a page may be opened in the browser (or mail or news program). hasNode is false when
// the link leads to no retrieved page; rated and ratingVerdict are that page's results. A page
// blocked by the settings is allowed only through the override prompt, when the settings allow
// one; otherwise the blocked-page notice is shown. Without a prompt (no display) a blocked page
// is refused without asking. Non-zero when the page may be opened.
int mayOpenPage(bool hasNode, int rated, int ratingVerdict, const RatingSettings& settings,
                const PasswordPrompt& prompt);

// The engine's rating callback type (SiteEngine::onRatePage).
using RatePageFn = std::function<void(const Str& labels, int& rated, int& verdict)>;

// A callback that evaluates labels against settings.currentRatings with the settings' flags as
// they are at each call. settings must outlive it; the callback runs on the thread that links the
// scanned pages.
RatePageFn makeRatePage(const RatingSettings& settings);

} // namespace lurvik
