#include "MapBlocks.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace lurvik {

namespace {

// The longest strings the writer can produce: a title from a page within the reply cap, a link
// text the scanner shortened. Anything longer is damage, refused before it is allocated.
constexpr int kMaxTitleBytes = 64 << 20;
constexpr int kMaxLinkTextBytes = 64 << 10;
// A page's HTML is the body of a reply within the reply cap.
constexpr int kMaxHtmlBytes = 64 << 20;

// Whether the string a block starts with after skip bytes claims no more than maxLength: checked
// on the block's first piece, before a damaged map makes the reader inflate what it claims.
int startsWithStringWithin(MemBlock& head, int skip, int maxLength) {
    int length = 0;
    if (head.skip(skip) != 0 || head.get(length, 4) != 0)
        return 0; // a block too short for the field fails where the field is read
    return length >= 0 && length <= maxLength ? 0 : 1;
}

int readLinks(MemBlock& block, const URL& pageURL, MapAddresses& addresses, LinkAddresses addressesOf,
              LinkFields& out) {
    int count = 0;
    if (block.get(count, 4) != 0 || count < 0)
        return 1;
    out.count = count;
    out.kinds.clear();
    out.stored.clear();
    out.texts.clear();
    const bool keep = addressesOf == LinkAddresses::Resolve;
    for (int i = 0; i < count; ++i) {
        int kind = 0;
        std::string_view url;
        std::string_view text;
        if (block.get(kind, 1) != 0 || block.get(url, URL::kMaxStoredLength) != 0 ||
            block.get(text, kMaxLinkTextBytes) != 0)
            return 1;
        if (keep) {
            out.kinds.push_back(kind);
            out.stored.push_back(url);
            out.texts.push_back(text);
        }
    }
    if (!keep)
        return 0;
    // The addresses as one batch, whose look-ups overlap.
    return addresses.readAll(out.stored, pageURL, out.urls, out.marksAsBefore ? &out.asBefore : nullptr);
}

} // namespace

int readMapMagic(InputFrogFile& file, bool& wide) {
    char magic[sizeof kMapMagic] = {};
    if (file.readExact(magic, sizeof magic) != 0)
        return 1;
    wide = std::memcmp(magic, kWideMapMagic, sizeof magic) == 0;
    return wide || std::memcmp(magic, kMapMagic, sizeof magic) == 0 ? 0 : 1;
}

URL mapBase(const Str& host) {
    return host.isEmpty() ? URL() : URL("http://" + host.str() + "/");
}

size_t pagesToReserve(const InputFrogFile& file, int count) {
    // No page's block compresses to fewer bytes: its address, title, ids and framing.
    constexpr uint64_t kLeastPageBytes = 32;
    std::error_code unknown;
    const uint64_t bytes = std::filesystem::file_size(file.name().str(), unknown);
    if (unknown || count <= 0)
        return 0;
    return static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(count), bytes / kLeastPageBytes));
}

int readPagesHeader(InputFrogFile& file, int idWidth, int& count, URL& base) {
    MemBlock header;
    Str baseHost;
    if (file.read(header) != 0 || header.get(count, idWidth) != 0 || count < 0 || header.get(baseHost) != 0)
        return 1;
    if (count < 1)
        return 4004;
    base = mapBase(baseHost);
    return 0;
}

int readPageBlock(InputFrogFile& file, MemBlock& block, PageHead& page, const URL& base, int idWidth,
                  MapAddresses& addresses, LinkFields& links, LinkAddresses addressesOf, int& id,
                  std::vector<int>& childIds) {
    // A page block starts with its state (one byte) and its title.
    if (file.read(block, 5, [](MemBlock& head) { return startsWithStringWithin(head, 1, kMaxTitleBytes); }) !=
        0)
        return 1;
    if (block.get(page.state, 1) != 0 || block.get(page.title, kMaxTitleBytes) != 0 ||
        block.get(page.size, 4) != 0 || addresses.read(block, base, page.url) != 0 ||
        readLinks(block, page.url, addresses, addressesOf, links) != 0)
        return 1;
    int count = 0;
    // Each pair of pages is joined from the parent's side, so the parent ids are only checked.
    // Counts are checked against what is left before anything is reserved for them.
    if (block.get(id, idWidth) != 0 || block.get(count, idWidth) != 0 || count < 0 ||
        count > block.remaining() / idWidth || block.skip(count * idWidth) != 0)
        return 1;
    if (block.get(count, idWidth) != 0 || count < 0 || count > block.remaining() / idWidth)
        return 1;
    for (int i = 0, child = 0; i < count; ++i) {
        if (block.get(child, idWidth) != 0)
            return 1;
        childIds.push_back(child);
    }
    return 0;
}

int readHtmlBlock(InputFrogFile& file, MemBlock& block, Str* html) {
    if (file.read(block, 4, [](MemBlock& head) { return startsWithStringWithin(head, 0, kMaxHtmlBytes); }) !=
        0)
        return 1;
    if (html)
        return block.get(*html, kMaxHtmlBytes);
    std::string_view skipped;
    return block.get(skipped, kMaxHtmlBytes);
}

int readAfterPages(InputFrogFile& file, MemBlock& trailing) {
    // Whatever follows the pages must be a whole block or a clean end: a file cut inside its last
    // stretch of compressed data shows only here.
    int next = file.read(trailing);
    if (next != 0 && next != static_cast<int>(FrogFileError::EndOfFile))
        return 1;
    // Compressed data cut at its very end shows only when the reader runs into the cut: read on to
    // the end, over any further blocks a later version may add.
    for (int more = 0; next == 0 && more < 64; ++more) {
        MemBlock later;
        next = file.read(later);
        if (next != 0 && next != static_cast<int>(FrogFileError::EndOfFile))
            return 1;
    }
    return 0;
}

} // namespace lurvik
