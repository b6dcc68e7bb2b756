#pragma once

#include "Socket.h"

#include <string>
#include <vector>

namespace lurvik {

// Looks up host (a name, a dotted IPv4 address or a bracketed or bare IPv6 address) and fills out
// with its addresses on port. Literal addresses never leave the thread. Names are looked up on a
// helper thread, because getaddrinfo cannot be interrupted, while the caller waits in slices that
// run its blocking hook: a stalled resolver never holds up a cancel. Returns None, Cancelled,
// TimedOut or Failed (no such host).
[[nodiscard]] SocketError resolveHost(const std::string& host, int port, std::vector<SocketAddress>& out,
                                      int timeoutMs);

// A literal address only; false when host is a name.
bool parseNumericAddress(const std::string& host, int port, SocketAddress& out);

} // namespace lurvik
