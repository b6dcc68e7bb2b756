#pragma once

#include <string>

namespace lurvik::cli {

// The certificate options of every command that retrieves pages (crawl, fetch, find): read,
// documented and put into effect here alone, so that no command takes them differently.
struct TlsOptions {
    std::string caFile;    // trusted besides the system's, instead of the saved "CaFile"
    bool insecure = false; // certificate checks off
};

// Takes argv[i] when it is --ca-file or --insecure, moving i past --ca-file's value. 1 when taken,
// 0 when argv[i] is no certificate option, -1 after printing what is wrong with it.
int takeTlsOption(int argc, char** argv, int& i, TlsOptions& out);
// Their help lines, in the column layout of every command's --help; caFileNow is what --ca-file is
// when not given (empty: none).
std::string tlsOptionsHelp(const std::string& caFileNow);
// Puts them into effect for the rest of the process, after the saved settings; an insecure run
// says so on stderr first.
void applyTlsOptions(const TlsOptions& options);
// What an insecure run warns: on stderr, and in a crawl's page report. Empty when certificates are
// checked.
std::string insecureWarning(const TlsOptions& options);

} // namespace lurvik::cli
