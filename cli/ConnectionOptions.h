#pragma once

#include "retrieval/Settings.h"

namespace lurvik::cli {

// The options of the commands that retrieve pages themselves (crawl, fetch) that say how a request
// goes out: proxy, User-Agent and request form, over the saved settings. Read here alone, so that
// no command takes them differently.
//
// Takes argv[i] when it is one of them, moving i past its value. 1 when taken, 0 when argv[i] is
// none of them, -1 after printing what is wrong with it.
int takeConnectionOption(int argc, char** argv, int& i, Settings& settings);

} // namespace lurvik::cli
