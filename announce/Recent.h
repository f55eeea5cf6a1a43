#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <random>
#include <type_traits>

namespace webfind::announce {

// A memory of a fixed size for what the announcer knows of the sources it
// meets: any number of sources costs the same memory and the same few steps
// each. Each key has a set of WAYS slots chosen by a hash with a seed of
// its own (so that nobody can aim many keys at one set); a new key takes
// the free slot of its set or the one used least recently among those
// `evictable` allows. A key that finds no such slot is not remembered. The
// slots are memory the system gives as zero and maps only when first
// written, so a quiet announcer holds little of it. Values are plain data,
// all zero when new.
template <typename Value, size_t WAYS = 4>
class Recent {
    static_assert(std::is_trivially_copyable<Value>::value, "plain data, all zero when new");

public:
    explicit Recent(size_t capacity)
        : sets(capacity / WAYS ? capacity / WAYS : 1),
          slots(static_cast<Slot*>(std::calloc(sets * WAYS, sizeof(Slot)))),
          seed(std::random_device{}()) {
        if (!slots) throw std::bad_alloc();
    }

    // The value of `key`, or null; a find counts as a use.
    Value* find(uint64_t key, uint64_t now) {
        Slot* first = set(key);
        for (size_t i = 0; i < WAYS; ++i)
            if (first[i].used && first[i].key == key) {
                first[i].touched = now;
                return &first[i].value;
            }
        return nullptr;
    }

    // The value of `key`, made anew (all zero) when it was not there; null
    // when its set has no slot that may be given up. `made` tells which.
    template <typename Evictable>
    Value* add(uint64_t key, uint64_t now, bool& made, Evictable evictable) {
        made = false;
        if (Value* found = find(key, now)) return found;
        Slot* first = set(key);
        Slot* chosen = nullptr;
        for (size_t i = 0; i < WAYS; ++i) {
            Slot& s = first[i];
            if (!s.used) {
                chosen = &s;
                break;
            }
            if (evictable(s.value, now) && (!chosen || s.touched < chosen->touched)) chosen = &s;
        }
        if (!chosen) return nullptr;
        *chosen = Slot{key, now, true, Value()};
        made = true;
        return &chosen->value;
    }

private:
    struct Slot {
        uint64_t key;
        uint64_t touched;
        bool used;
        Value value;
    };
    struct Free {
        void operator()(Slot* s) const { std::free(s); }
    };

    Slot* set(uint64_t key) {
        // splitmix64's mix of the key and the seed.
        uint64_t z = key + seed + 0x9E3779B97F4A7C15ull;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return &slots[(z % sets) * WAYS];
    }

    const size_t sets;
    std::unique_ptr<Slot[], Free> slots;
    const uint64_t seed;
};

}  // namespace webfind::announce
