#include "CliRunner.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace lurvik::test {

namespace {
std::string quote(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}
} // namespace

CliResult runCli(const std::vector<std::string>& arguments) {
    char dir[] = "/tmp/lurvik-cli-XXXXXX";
    CliResult result;
    if (!mkdtemp(dir))
        return result;
    std::string out = std::string(dir) + "/out";
    std::string err = std::string(dir) + "/err";
    std::string command = quote(LURVIK_CLI);
    for (const std::string& argument : arguments)
        command += " " + quote(argument);
    command += " >" + quote(out) + " 2>" + quote(err) + " </dev/null";
    int status = std::system(command.c_str());
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = slurp(out);
    result.err = slurp(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    rmdir(dir);
    return result;
}

} // namespace lurvik::test
