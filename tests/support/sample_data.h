// tests/support/sample_data.h: inputs of the shapes that an -lh1- encoder
// must get right, each made from a fixed seed: empty and tiny inputs,
// runs, text, executable-like bytes, noise, and repeats whose distance or
// length sits at the window's and the match's limits.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace sample_data {

struct Sample {
    std::string name;
    Bytes data;
};

inline Bytes noise(uint32_t seed, size_t size)
{
    std::mt19937 rng(seed);
    Bytes out(size);
    for (uint8_t& b : out)
        b = static_cast<uint8_t>(rng());
    return out;
}

// Lines of words drawn with a skewed choice, CR LF line ends.
inline Bytes text(uint32_t seed, size_t size)
{
    std::mt19937 rng(seed);
    std::vector<std::string> words;
    for (int i = 0; i < 500; i++) {
        std::string w;
        for (uint32_t n = 2 + rng() % 7; n > 0; n--)
            w += static_cast<char>('a' + rng() % 26);
        words.push_back(w);
    }
    Bytes out;
    while (out.size() < size) {
        const std::string& w = words[rng() % (1 + rng() % words.size())];
        out.insert(out.end(), w.begin(), w.end());
        const char* gap = rng() % 9 == 0 ? ".\r\n" : " ";
        out.insert(out.end(), gap, gap + strlen(gap));
    }
    out.resize(size);
    return out;
}

// Recurring short patterns, little-endian words, zero padding and
// stretches of noise, as in a program file.
inline Bytes program(uint32_t seed, size_t size)
{
    std::mt19937 rng(seed);
    std::vector<Bytes> patterns;
    for (int i = 0; i < 100; i++)
        patterns.push_back(noise(rng(), 1 + rng() % 8));
    Bytes out;
    while (out.size() < size) {
        const uint32_t kind = rng() % 10;
        if (kind < 6) {
            const Bytes& p = patterns[rng() % (1 + rng() % patterns.size())];
            out.insert(out.end(), p.begin(), p.end());
        } else if (kind < 8) {
            const uint32_t word = rng() % 0x10000;
            for (int i = 0; i < 4; i++)
                out.push_back(static_cast<uint8_t>(word >> (8 * i)));
        } else if (kind < 9) {
            out.insert(out.end(), rng() % 200, 0);
        } else {
            const Bytes n = noise(rng(), rng() % 100);
            out.insert(out.end(), n.begin(), n.end());
        }
    }
    out.resize(size);
    return out;
}

// `size` bytes that repeat a block of noise every `period` bytes: every
// match found is at distance period - 1.
inline Bytes repeating(uint32_t seed, size_t period, size_t size)
{
    const Bytes block = noise(seed, period);
    Bytes out;
    while (out.size() < size)
        out.insert(out.end(), block.begin(), block.end());
    out.resize(size);
    return out;
}

// Every shape, small enough for a step-by-step decoder to check.
inline std::vector<Sample> samples()
{
    return {
        {"empty", Bytes{}},
        {"one byte", Bytes{0x41}},
        {"two bytes", Bytes{0xFF, 0xFF}},
        {"three equal bytes", Bytes(3, 0x20)},
        {"run of 59", Bytes(59, 'x')},
        {"run of 60", Bytes(60, 'x')},
        {"run of 61", Bytes(61, 'x')},
        {"run of 63", Bytes(63, 'x')},
        {"run of zeros", Bytes(70000, 0)},
        {"text", text(1, 60000)},
        {"program", program(2, 60000)},
        {"noise", noise(3, 5000)},
        {"period 4095", repeating(4, 4095, 12000)},
        {"period 4096", repeating(5, 4096, 12000)},
        {"period 4097", repeating(6, 4097, 12000)},
        {"size 4096", program(7, 4096)},
        {"size 4097", program(8, 4097)},
        {"period 61", repeating(9, 61, 3000)},
        {"long text", text(10, 300000)},
    };
}

}  // namespace sample_data
