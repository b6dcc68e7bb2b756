#pragma once

#include <string>
#include <string_view>

namespace lurvik {

// What stands in an archived request where its credentials were: a password is never saved, in a
// web archive no more than in the settings.
inline constexpr std::string_view kCredentialMarker = "[credentials not archived]";

// One exchange as the archive keeps it: the response as it came over the wire, the request as
// sent, the address asked for and when.
struct WarcExchange {
    std::string uri;
    std::string date;
    std::string request;
    std::string response;
    // The response stopped part-way (cut short, past the size cap or the page's time), or only
    // its head was read: the record says so.
    bool truncated = false;
};

// The request with the values of its Authorization and Proxy-Authorization lines, and any user
// and password in its target, replaced by the marker.
std::string withoutCredentials(std::string_view request);
// The address without a user and password and without a fragment.
std::string archivedAddress(std::string_view uri);
// The date as WARC-Date writes it, in UTC.
std::string warcDate();
// The warcinfo record that opens a file, as a gzip member.
std::string warcinfoMember(const std::string& id, const std::string& fileName, std::string_view software);
// The response and request records of an exchange, each a gzip member of its own; empty when
// compression could not start (no memory).
std::string exchangeMembers(const WarcExchange& exchange, const std::string& infoId);

} // namespace lurvik
