// src/kiv1math/random.cpp: per-thread xoshiro256** with polar normal draws.
#include <kiv/random.h>

#include <cmath>
#include <cstdint>

namespace kiv {

namespace {

// Seed of every thread's generator until it is reseeded, so that programs
// that never call RandSeed are reproducible.
constexpr std::uint64_t kDefaultSeed = 0x853C49E6748FEA9BULL;

// xoshiro256** 1.0 (Blackman and Vigna, 2018), state filled by splitmix64
// as its authors recommend.
class Xoshiro256StarStar {
public:
    explicit Xoshiro256StarStar(std::uint64_t seed) { Seed(seed); }

    void Seed(std::uint64_t seed) {
        for (std::uint64_t &word : m_state) word = SplitMix64(seed);
    }

    std::uint64_t Next() {
        const std::uint64_t result = RotateLeft(m_state[1] * 5, 7) * 9;
        const std::uint64_t t = m_state[1] << 17;
        m_state[2] ^= m_state[0];
        m_state[3] ^= m_state[1];
        m_state[1] ^= m_state[2];
        m_state[0] ^= m_state[3];
        m_state[2] ^= t;
        m_state[3] = RotateLeft(m_state[3], 45);
        return result;
    }

private:
    static std::uint64_t RotateLeft(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

    static std::uint64_t SplitMix64(std::uint64_t &x) {
        std::uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    std::uint64_t m_state[4];
};

struct ThreadGenerator {
    Xoshiro256StarStar engine{kDefaultSeed};
    // The polar method yields normals in pairs; the second waits here.
    bool hasSpareNormal = false;
    double spareNormal = 0.0;
};

ThreadGenerator &Generator() {
    thread_local ThreadGenerator generator;
    return generator;
}

// Takes the top 53 bits as k and returns (k + 0.5) / 2^53: every value lies
// strictly inside (0, 1), and the grid is symmetric about 1/2.
double UniformOpen(Xoshiro256StarStar &engine) {
    const std::uint64_t k = engine.Next() >> 11;
    return (static_cast<double>(k) + 0.5) * 0x1.0p-53;
}

}  // namespace

double Rand() { return UniformOpen(Generator().engine); }

double Randn() {
    ThreadGenerator &g = Generator();
    if (g.hasSpareNormal) {
        g.hasSpareNormal = false;
        return g.spareNormal;
    }
    // Marsaglia's polar method: exact, needs no tables.
    double u, v, s;
    do {
        u = 2.0 * UniformOpen(g.engine) - 1.0;
        v = 2.0 * UniformOpen(g.engine) - 1.0;
        s = u * u + v * v;
    } while (s >= 1.0 || s == 0.0);
    const double factor = std::sqrt(-2.0 * std::log(s) / s);
    g.spareNormal = v * factor;
    g.hasSpareNormal = true;
    return u * factor;
}

void RandSeed(unsigned long long seed) {
    ThreadGenerator &g = Generator();
    g.engine.Seed(seed);
    g.hasSpareNormal = false;
}

}  // namespace kiv
