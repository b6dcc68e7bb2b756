#pragma once

#include <chrono>
#include <string>

namespace lurvik::test {

// A bare client for tests that need to send exact bytes, or read exactly what a server
// wrote, without going through the program's own HTTP client.
// Connects to 127.0.0.1:`port`, sends `request` verbatim and reads until the server
// closes. Returns 0 with `reply` holding every byte received, or the errno of the failure
// (ETIMEDOUT when the server neither closed nor sent anything for `timeout`);
// `reply` is written only on success.
[[nodiscard]] int httpExchange(int port, const std::string& request, std::string& reply,
                               std::chrono::milliseconds timeout = std::chrono::seconds(10));

} // namespace lurvik::test
