#pragma once

namespace lurvik::cli {

// lurvik-cli import FILE.warc[.gz]... [URL | --start URL] [crawl limits and outputs]
int runImport(int argc, char** argv);

} // namespace lurvik::cli
