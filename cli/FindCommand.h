#pragma once

namespace lurvik::cli {

// lurvik-cli find site.web [criteria options] [--criteria file.ifc] [--save-criteria file.ifc]
// [--format text|tsv|json]: searches a saved site map as a Find window would and prints the
// results on stdout. Exit status 0 with results, 1 with none, 2 on an error.
int runFind(int argc, char** argv);

} // namespace lurvik::cli
