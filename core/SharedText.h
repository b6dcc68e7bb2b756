#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace lurvik {

// An immutable text whose copies share one block, the size of a pointer: a site's pages repeat the
// same link texts (a menu's twenty on every page), and tens of millions of link records each with a
// string of its own would hold the same few bytes tens of thousands of times. The empty text has no
// block. Copies may live on different threads; the count is atomic.
class SharedText {
public:
    SharedText() = default;
    explicit SharedText(std::string_view text);
    SharedText(const SharedText& other) noexcept : m_block(other.m_block) { retain(); }
    SharedText(SharedText&& other) noexcept : m_block(other.m_block) { other.m_block = nullptr; }
    SharedText& operator=(const SharedText& other) noexcept;
    SharedText& operator=(SharedText&& other) noexcept;
    // A block of its own for text, the old one let go.
    SharedText& operator=(std::string_view text) { return *this = SharedText(text); }
    void clear() { release(); }
    ~SharedText() { release(); }

    std::string_view view() const { return m_block ? std::string_view(chars(), m_block->length) : ""; }
    // Ends with a NUL, for the C-string interfaces.
    const char* text() const { return m_block ? chars() : ""; }
    int len() const { return m_block ? static_cast<int>(m_block->length) : 0; }
    bool isEmpty() const { return !m_block; }
    std::string str() const { return std::string(view()); }
    bool sharesBlock(const SharedText& other) const { return m_block == other.m_block; }
    bool operator==(std::string_view other) const { return view() == other; }
    bool operator==(const SharedText& other) const { return view() == other.view(); }

private:
    // The text and its NUL follow the block in the same allocation.
    struct Block {
        std::atomic<uint32_t> refs;
        uint32_t length;
    };
    const char* chars() const { return reinterpret_cast<const char*>(m_block + 1); }
    void retain() const {
        if (m_block)
            m_block->refs.fetch_add(1, std::memory_order_relaxed);
    }
    void release();

    Block* m_block = nullptr;
};

} // namespace lurvik
