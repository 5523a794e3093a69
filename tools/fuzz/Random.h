// The fuzzer's seeded generator (splitmix64): one seed gives the same cases on every machine.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ombrel::test::fuzz {

class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}

    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // 0 to n - 1; n must be positive.
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
    // lo to hi, both included.
    int Between(int lo, int hi) { return lo + static_cast<int>(Below(static_cast<uint32_t>(hi - lo + 1))); }
    bool OneIn(uint32_t n) { return Below(n) == 0; }

    template <typename T, size_t N>
    const T& Pick(const T (&items)[N]) {
        return items[Below(N)];
    }

    // A length up to max, mostly short: small inputs find most faults and shrink fastest.
    size_t Length(size_t max) {
        const uint32_t scale = Below(10);
        size_t bound = max;
        if (scale < 6) bound = max < 16 ? max : 16;
        else if (scale < 9) bound = max < 256 ? max : 256;
        return static_cast<size_t>(Next() % (bound + 1));
    }

private:
    uint64_t state_;
};

// The seed of one case: the run's seed, the target and the case's number, well mixed.
inline uint64_t CaseSeed(uint64_t runSeed, uint64_t targetSalt, uint64_t index) {
    Random mix(runSeed ^ (targetSalt * 0xD1B54A32D192ED03ull) ^ (index * 0x9E3779B97F4A7C15ull));
    return mix.Next();
}

}  // namespace ombrel::test::fuzz
