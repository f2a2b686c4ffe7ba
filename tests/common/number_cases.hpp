#pragma once
// The reference numbers of rounding.json: `x_hex` is the exact double as little-endian
// IEEE-754 bytes in hex (empty when the value is an integer given in `x`).
#include <cstdint>
#include <cstring>
#include <string>

inline double from_hex(const std::string& hex) {
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | std::stoul(hex.substr(size_t(i) * 2, 2), nullptr, 16);
    double x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}
