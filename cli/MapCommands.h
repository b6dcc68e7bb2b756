#pragma once

namespace lurvik::cli {

// lurvik-cli tree site.web: the saved tree, indented, with each page's title and address.
int runTree(int argc, char** argv);
// lurvik-cli links site.web [--broken]: every link of every saved page, tab-separated.
int runLinks(int argc, char** argv);

} // namespace lurvik::cli
