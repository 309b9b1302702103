#include "board/TextHash.h"

#include <bit>
#include <chrono>
#include <cstring>
#include <random>

namespace {

uint64_t Rotl(uint64_t x, int b)
{
    return (x << b) | (x >> (64 - b));
}

struct SipState {
    uint64_t v0, v1, v2, v3;

    void Round()
    {
        v0 += v1;
        v1 = Rotl(v1, 13);
        v1 ^= v0;
        v0 = Rotl(v0, 32);
        v2 += v3;
        v3 = Rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = Rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = Rotl(v1, 17);
        v1 ^= v2;
        v2 = Rotl(v2, 32);
    }
};

// Little-endian whatever the machine: the hash must not depend on it.
uint64_t ReadLe64(const unsigned char* p)
{
    uint64_t v = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&v, p, sizeof v);
    } else {
        for (int i = 7; i >= 0; --i)
            v = (v << 8) | p[i];
    }
    return v;
}

TagSipKey RandomKey()
{
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(),
                       unsigned(std::chrono::steady_clock::now().time_since_epoch().count())};
    std::mt19937_64 rng(seed);
    return {rng(), rng()};
}

} // namespace

template <int C, int D> uint64_t SipHash(const TagSipKey& key, std::string_view data)
{
    SipState s{key.K0 ^ 0x736f6d6570736575ULL, key.K1 ^ 0x646f72616e646f6dULL, key.K0 ^ 0x6c7967656e657261ULL,
               key.K1 ^ 0x7465646279746573ULL};
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    const size_t whole = data.size() & ~size_t(7);
    for (size_t i = 0; i < whole; i += 8) {
        const uint64_t m = ReadLe64(p + i);
        s.v3 ^= m;
        for (int r = 0; r < C; ++r)
            s.Round();
        s.v0 ^= m;
    }
    unsigned char tail[8] = {};
    std::memcpy(tail, p + whole, data.size() - whole);
    const uint64_t last = ReadLe64(tail) | (uint64_t(data.size() & 0xFF) << 56);
    s.v3 ^= last;
    for (int r = 0; r < C; ++r)
        s.Round();
    s.v0 ^= last;
    s.v2 ^= 0xFF;
    for (int r = 0; r < D; ++r)
        s.Round();
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

template uint64_t SipHash<1, 3>(const TagSipKey&, std::string_view);
template uint64_t SipHash<2, 4>(const TagSipKey&, std::string_view);

const TagSipKey& TextHashKey()
{
    static const TagSipKey key = RandomKey();
    return key;
}

uint64_t TextHash(std::string_view text)
{
    if (text.empty())
        return 0;
    const uint64_t h = SipHash<1, 3>(TextHashKey(), text);
    return h == 0 ? 1 : h; // 0 is the empty text's alone
}
