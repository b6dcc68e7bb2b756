#include "SharedText.h"

#include <cstring>
#include <new>

namespace lurvik {

SharedText::SharedText(std::string_view text) {
    if (text.empty())
        return;
    void* memory = ::operator new(sizeof(Block) + text.size() + 1);
    m_block = new (memory) Block{{1}, static_cast<uint32_t>(text.size())};
    char* chars = reinterpret_cast<char*>(m_block + 1);
    std::memcpy(chars, text.data(), text.size());
    chars[text.size()] = '\0';
}

SharedText& SharedText::operator=(const SharedText& other) noexcept {
    other.retain();
    release();
    m_block = other.m_block;
    return *this;
}

SharedText& SharedText::operator=(SharedText&& other) noexcept {
    if (this != &other) {
        release();
        m_block = other.m_block;
        other.m_block = nullptr;
    }
    return *this;
}

void SharedText::release() {
    if (m_block && m_block->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        m_block->~Block();
        ::operator delete(m_block);
    }
    m_block = nullptr;
}

} // namespace lurvik
