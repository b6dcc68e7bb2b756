#pragma once

#include "core/Str.h"
#include "core/URL.h"

namespace lurvik {

struct RequestHeaders {
    bool viaProxy = false;
    Str userAgent;   // sent when not empty
    Str credentials; // "user:password", sent as basic authorization when not empty
    Str ifModifiedSince;
    bool isHead = false; // modern form only
};

// The GET request for url. Classic form: HTTP/1.0, line feeds only, no Host line, the directory
// and file name alone (the absolute http: address through a proxy). Modern form: HTTP/1.1, CRLF,
// a Host line after the request line, the query sent too, through a proxy the address with its
// own scheme, and gzip and deflate accepted.
void buildRequest(const URL& url, const RequestHeaders& headers, bool classic, Str& out);

} // namespace lurvik
