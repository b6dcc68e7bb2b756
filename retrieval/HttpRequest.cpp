#include "HttpRequest.h"

namespace lurvik {

void buildRequest(const URL& url, const RequestHeaders& headers, bool classic, Str& out) {
    const char* eol = classic ? "\n" : "\r\n";
    out = headers.isHead && !classic ? "HEAD " : "GET ";
    if (headers.viaProxy) {
        if (classic) {
            out.cat("http://");
            out.cat(url.getHost());
            if (url.getPort() != 80)
                out.cat(":" + std::to_string(url.getPort()));
        } else {
            out.cat(url.getScheme());
            out.cat("://");
            out.cat(url.getHostAndPort());
        }
    }
    out.cat(classic ? url.getPath() : url.getRequestTarget());
    out.cat(classic ? " HTTP/1.0" : " HTTP/1.1");
    out.cat(eol);
    if (!classic) {
        out.cat("Host: ");
        out.cat(url.getHostAndPort());
        out.cat(eol);
    }
    if (!headers.userAgent.isEmpty()) {
        out.cat("User-Agent: ");
        out.cat(headers.userAgent.view());
        out.cat(eol);
    }
    if (!headers.credentials.isEmpty()) {
        Str encoded = headers.credentials;
        encoded.encode64();
        out.cat("Authorization: Basic ");
        out.cat(encoded.view());
        out.cat(eol);
    }
    if (!headers.ifModifiedSince.isEmpty()) {
        out.cat("If-Modified-Since: ");
        out.cat(headers.ifModifiedSince.view());
        out.cat(eol);
    }
    out.cat("Accept: */*");
    out.cat(eol);
    if (!classic) {
        out.cat("Accept-Encoding: gzip, deflate");
        out.cat(eol);
    }
    out.cat(eol);
}

} // namespace lurvik
