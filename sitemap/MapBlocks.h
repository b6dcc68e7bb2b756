#pragma once

#include "MapAddresses.h"
#include "core/InputFrogFile.h"
#include "core/MemBlock.h"
#include "core/Str.h"
#include "core/URL.h"
#include "retrieval/SiteNode.h"

#include <string_view>
#include <vector>

namespace lurvik {

// The blocks of a site map as its readers take them: the magic, a page's block and its HTML
// block. Shared by the load (readTree) and by MapLinkReader, which reads again the links of a map
// that was loaded without them.

// The magic of the first layout, and of the wide one whose page counts and ids are 32 bits.
inline constexpr char kMapMagic[12] = "LURVKMAP1.0";
inline constexpr char kWideMapMagic[12] = "LURVKMAP2.0";

// Reads the magic; 0 with wide telling the layout, 1 when the file is not a site map or cannot
// be read (file.errorText() then says why, when it knows).
[[nodiscard]] int readMapMagic(InputFrogFile& file, bool& wide);

// Pages are stored relative to the first saved page's host, which makes most of them a bare path.
URL mapBase(const Str& host);

// A page's link records as read, before they are built; reused from page to page. The views
// point into the page's block.
struct LinkFields {
    int count = 0;
    // Filled only when the addresses are resolved (LinkAddresses::Resolve).
    std::vector<int> kinds;
    std::vector<std::string_view> stored; // the addresses as stored, relative to the page
    std::vector<std::string_view> texts;
    std::vector<URL> urls;
    // For a reader that keeps the addresses of the page before (MapAddresses::readAll).
    bool marksAsBefore = false;
    std::vector<uint8_t> asBefore;
};

// Whether a page's block resolves its links' addresses (into LinkFields::urls), or leaves them as
// stored for a reader that does not keep links.
enum class LinkAddresses { Resolve, Keep };

// How many of the pages a map's header claims to make room for before they are read: all of them,
// unless the file is too small to hold so many, as a damaged count would be.
[[nodiscard]] size_t pagesToReserve(const InputFrogFile& file, int count);
// Reads the block before the pages: how many there are, and the base they are stored relative to.
// 0; 4004 when the map holds no page; 1 when the block is damaged.
[[nodiscard]] int readPagesHeader(InputFrogFile& file, int idWidth, int& count, URL& base);
// What a page's block says of the page itself, before its links and ids.
struct PageHead {
    int state = 0;
    Str title;
    int size = 0;
    URL url;
};
// Reads the next page's block into page and links; id receives the page's id in the file, and its
// children's ids are appended to childIds. 0, or 1 when the file ends early or the block is
// damaged.
[[nodiscard]] int readPageBlock(InputFrogFile& file, MemBlock& block, PageHead& page, const URL& base,
                                int idWidth, MapAddresses& addresses, LinkFields& links,
                                LinkAddresses addressesOf, int& id, std::vector<int>& childIds);
// Reads the HTML block after a page's block; html, when given, receives the page's HTML.
[[nodiscard]] int readHtmlBlock(InputFrogFile& file, MemBlock& block, Str* html);
// Reads what follows the last page: trailing receives the block after the pages, if any (room for
// later additions to the format), and the rest is read to the end, where compressed data cut
// short shows. 0, or 1 when the file is damaged or cut short.
[[nodiscard]] int readAfterPages(InputFrogFile& file, MemBlock& trailing);

} // namespace lurvik
