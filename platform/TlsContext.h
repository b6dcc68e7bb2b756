#pragma once

#include <string>

struct ssl_st;

namespace lurvik {

class Socket;

// The pieces every TLS connection of the process shares: one client context (created on first use,
// trust = the system store plus the extra CA file) and a BIO that moves bytes through a Socket.
// Internal to the platform layer; TlsSession is the public face.

// A new connection from the shared context, reading and writing through socket (not owned: it
// must outlive the connection). nullptr, with the reason in error, when the context cannot be made.
ssl_st* newTlsConnection(Socket& socket, std::string& error);

// Session resumption: sessions the servers hand out are kept under the key of the connection that
// received them (*key must outlive the connection), and the latest one is offered to the next
// connection with the same key.
void rememberSessionsUnder(ssl_st* ssl, const std::string* key);
void offerStoredSession(ssl_st* ssl, const std::string& key);

// Whether certificates are checked; off only on the user's explicit request.
bool tlsVerifiesPeers();

} // namespace lurvik
