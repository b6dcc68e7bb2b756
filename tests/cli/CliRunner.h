#pragma once

#include <string>
#include <vector>

namespace lurvik::test {

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the built lurvik-cli with arguments and collects its exit code and both streams.
CliResult runCli(const std::vector<std::string>& arguments);

} // namespace lurvik::test
