#include "ConnectionOptions.h"

#include "CliCommon.h"

#include <string>

namespace lurvik::cli {

int takeConnectionOption(int argc, char** argv, int& i, Settings& settings) {
    const std::string arg = argv[i];
    auto set = [](int& field, int value) {
        field = value;
        return 1;
    };
    if (arg == "--no-proxy")
        return set(settings.useProxy, 0);
    if (arg == "--no-user-agent")
        return set(settings.useUserAgent, 0);
    if (arg == "--classic-http")
        return set(settings.classicHttp, 1);
    if (arg == "--modern-http")
        return set(settings.classicHttp, 0);
    if (arg == "--no-http2")
        return set(settings.useHttp2, 0);
    if (arg == "--http2")
        return set(settings.useHttp2, 1);
    const bool proxy = arg == "--proxy";
    if (!proxy && arg != "--user-agent")
        return 0;
    if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        printError("incomplete option '" + arg + "': it needs " + (proxy ? "host:port" : "a text"));
        return -1;
    }
    const std::string value = argv[++i];
    if (!proxy) {
        settings.userAgent = value;
        return set(settings.useUserAgent, 1);
    }
    if (parseHostPort(value, settings.proxyServer, settings.proxyPort) != 0) {
        printError("not a valid proxy (host:port): " + value);
        return -1;
    }
    return set(settings.useProxy, 1);
}

} // namespace lurvik::cli
