#pragma once

#include "core/Str.h"
#include "core/URL.h"
#include "retrieval/AgentPool.h"

#include <string>

namespace lurvik::cli {

enum ExitCode { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };

// "lurvik-cli: <message>" on stderr.
void printError(const std::string& message);

// An address as a user types it: "example.com/x" means http://example.com/x. A "user:password@"
// in it is taken out into userInfo, so it is used but never printed or saved.
int parseUserURL(const std::string& text, URL& out, std::string& userInfo);

enum class Retrieved { Any, Page };
// The address a command is to retrieve, as parseUserURL reads it, which must be http: or https: (and
// for Retrieved::Page, lead to a page). Prints why and returns non-zero when it is not.
int parseRetrievedURL(const std::string& text, Retrieved what, URL& out, std::string& userInfo);
// Prints why and returns 1 when classicHttp is set and url is an https: address, which the original
// request form cannot reach.
int refuseClassicSecure(const URL& url, int classicHttp);

// "host:port" with a default port of 80; 0 on success.
int parseHostPort(const std::string& text, Str& host, int& port);

// Makes the pool answer the basic-authentication challenges of site (and of no other) with
// "user:password" given on the command line, the way the password dialog answers in the desktop
// program.
void answerCredentials(AgentPool& pool, const std::string& userColonPassword, const Str& site);

// Whether a command's arguments ask for its help: --help or -h anywhere among them.
bool asksForHelp(int argc, char** argv);

// Set by SIGINT/SIGTERM once installInterruptHandler has run.
bool interrupted();
void installInterruptHandler();

} // namespace lurvik::cli
