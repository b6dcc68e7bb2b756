#pragma once

#include "LargeArrays.h"
#include "Prefetch.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

namespace lurvik {

// A hash index of values that carry their own text key (a node by its address, an address by its
// text), held in one flat array. A site of a million pages looks an address up for each of its
// tens of millions of links; a node-based map pays several cache misses for each, this index one
// for the slot and one to compare the key, and only when the stored hash matches.
//
// KeyOf(value) gives the key, which must stay the same while the value is in the index. Pointers
// to values hold until the next insert or erase.
template <class Value, class KeyOf>
class TextIndex {
public:
    Value* find(std::string_view key) { return find(key, hashOf(key)); }
    const Value* find(std::string_view key) const { return find(key, hashOf(key)); }
    // The same with the key's hashOf already worked out.
    Value* find(std::string_view key, uint64_t hash) {
        const size_t i = slotOf(key, hash);
        return i != kNone ? &m_slots[i].value : nullptr;
    }
    const Value* find(std::string_view key, uint64_t hash) const {
        const size_t i = slotOf(key, hash);
        return i != kNone ? &m_slots[i].value : nullptr;
    }

    // Looking up many keys whose entries are far apart in memory, the caller asks for all of them
    // ahead (prefetchSlot, then prefetchValue with the same hash, which touch nothing but the
    // slots) and only then finds each: the trips to memory overlap instead of queueing.
    static uint64_t hashOf(std::string_view key) {
        const uint64_t hash = std::hash<std::string_view>()(key);
        return hash != 0 ? hash : 1;
    }
    // The run of slots a look-up reads often goes on into the next cache line, which is asked for
    // too: a line that had not come stalled prefetchValue as much as no prefetch at all.
    void prefetchSlot(uint64_t hash) const {
        if (m_slots.empty())
            return;
        const size_t i = hash & mask();
        prefetchLine(&m_slots[i]);
        prefetchLine(&m_slots[std::min(i + 64 / sizeof(Slot), mask())]);
    }
    // Calls touch(value) for the first entry whose hash matches, without reading any key: the
    // entry of the key but for a collision of the whole hash, which costs a wait, not an error.
    template <class Touch>
    void prefetchValue(uint64_t hash, Touch touch) const {
        if (m_slots.empty())
            return;
        for (size_t i = hash & mask(); m_slots[i].hash != 0; i = (i + 1) & mask())
            if (m_slots[i].hash == hash) {
                touch(m_slots[i].value);
                return;
            }
    }

    // Adds value unless one with its key is there; returns the entry that holds the key and
    // whether it is the new one.
    std::pair<Value*, bool> insert(Value value) {
        if ((m_count + 1) * 10 > m_slots.size() * 7)
            rehash(std::max<size_t>(16, m_slots.size() * 2));
        const std::string_view key = KeyOf()(value);
        const uint64_t hash = hashOf(key);
        for (size_t i = hash & mask();; i = (i + 1) & mask()) {
            Slot& slot = m_slots[i];
            if (slot.hash == 0) {
                slot.hash = hash;
                slot.value = std::move(value);
                ++m_count;
                return {&slot.value, true};
            }
            if (slot.hash == hash && KeyOf()(slot.value) == key)
                return {&slot.value, false};
        }
    }

    // Removes the entry with key; false when there is none.
    bool erase(std::string_view key) {
        size_t hole = slotOf(key, hashOf(key));
        if (hole == kNone)
            return false;
        // Linear probing without tombstones: later entries of the same run move back into the
        // hole when their home slot is not between the hole and them.
        for (size_t i = (hole + 1) & mask(); m_slots[i].hash != 0; i = (i + 1) & mask()) {
            const size_t home = m_slots[i].hash & mask();
            if (((i - home) & mask()) >= ((i - hole) & mask())) {
                m_slots[hole] = std::move(m_slots[i]);
                hole = i;
            }
        }
        m_slots[hole] = Slot();
        --m_count;
        return true;
    }

    void reserve(size_t count) {
        size_t capacity = 16;
        while (count * 10 > capacity * 7)
            capacity *= 2;
        if (capacity > m_slots.size())
            rehash(capacity);
    }
    size_t size() const { return m_count; }
    void clear() {
        Slots().swap(m_slots);
        m_count = 0;
    }
    // Empties the index but keeps its slots, for an index filled again to about the same size:
    // giving back an array of megabytes made the allocator sweep every small block freed before.
    void forget() {
        std::fill(m_slots.begin(), m_slots.end(), Slot());
        m_count = 0;
    }

private:
    struct Slot {
        Value value{};
        uint64_t hash = 0; // 0: empty
    };

    static constexpr size_t kNone = ~size_t(0);

    size_t slotOf(std::string_view key, uint64_t hash) const {
        if (m_slots.empty())
            return kNone;
        for (size_t i = hash & mask();; i = (i + 1) & mask()) {
            const Slot& slot = m_slots[i];
            if (slot.hash == 0)
                return kNone;
            if (slot.hash == hash && KeyOf()(slot.value) == key)
                return i;
        }
    }
    size_t mask() const { return m_slots.size() - 1; }
    void rehash(size_t capacity) {
        Slots old(capacity);
        old.swap(m_slots);
        for (Slot& slot : old) {
            if (slot.hash == 0)
                continue;
            size_t i = slot.hash & mask();
            while (m_slots[i].hash != 0)
                i = (i + 1) & mask();
            m_slots[i] = std::move(slot);
        }
    }

    using Slots = std::vector<Slot, LargeArrayAllocator<Slot>>;
    Slots m_slots;
    size_t m_count = 0;
};

} // namespace lurvik
