#pragma once

namespace lurvik::cli {

// lurvik-cli fetch URL [options]: fetches one page with an agent, as the retrieval would, and
// prints the status line, the reply header and the body size.
int runFetch(int argc, char** argv);

} // namespace lurvik::cli
