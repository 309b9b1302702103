#pragma once
// A keyed 64-bit hash of a cell's text, kept beside the text so that the counts per text can group
// lines without comparing (or copying) the texts themselves, however long a server makes them.

#include <cstdint>
#include <string_view>

struct TagSipKey {
    uint64_t K0 = 0;
    uint64_t K1 = 0;
};

// SipHash with c compression and d finalisation rounds (Aumasson and Bernstein), the 64-bit output.
// A server that does not know the key cannot choose texts that collide.
template <int C, int D> uint64_t SipHash(const TagSipKey& key, std::string_view data);

// The key of this process, random, chosen once.
const TagSipKey& TextHashKey();

// The hash the board keeps of a cell's text: SipHash-1-3 under TextHashKey. The empty text hashes
// to 0, so a cell never written needs no hashing.
uint64_t TextHash(std::string_view text);
