#include "TlsOptions.h"

#include "CliCommon.h"
#include "platform/TlsSession.h"

namespace lurvik::cli {

int takeTlsOption(int argc, char** argv, int& i, TlsOptions& out) {
    const std::string arg = argv[i];
    if (arg == "--insecure") {
        out.insecure = true;
        return 1;
    }
    if (arg != "--ca-file")
        return 0;
    if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        printError("--ca-file needs a file of certificates (PEM)");
        return -1;
    }
    out.caFile = argv[++i];
    return 1;
}

std::string tlsOptionsHelp(const std::string& caFileNow) {
    return "  --ca-file FILE        also trust the certificates in FILE (PEM) (now: " +
           (caFileNow.empty() ? std::string("none") : caFileNow) +
           ")\n"
           "  --insecure            do not check certificates (says so on stderr, and in a crawl's\n"
           "                        page report)\n";
}

void applyTlsOptions(const TlsOptions& options) {
    if (!options.caFile.empty())
        setTlsExtraCaFile(options.caFile);
    if (options.insecure)
        printError(insecureWarning(options));
    setTlsVerification(!options.insecure);
}

std::string insecureWarning(const TlsOptions& options) {
    return options.insecure ? "warning: --insecure: certificates were not checked; anyone on the way could "
                              "pose as the site"
                            : "";
}

} // namespace lurvik::cli
