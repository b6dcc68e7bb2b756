#pragma once

namespace lurvik::cli {

// lurvik-cli diff OLD.web NEW.web [--format tsv|jsonl|html] [--out FILE] [--links]: what changed
// between two crawls of a site. Exit status 1 when something became broken.
int runDiff(int argc, char** argv);

} // namespace lurvik::cli
