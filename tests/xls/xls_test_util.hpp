#pragma once
// Helpers shared by the spreadsheet writer tests: hex byte strings and record splitting.
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace xls_test {

// "09 00 04 00" -> bytes; blanks are ignored.
inline std::string hex(std::string_view h) {
    std::string out;
    int hi = -1;
    for (char c : h) {
        int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (v < 0) continue;
        if (hi < 0) {
            hi = v;
        } else {
            out.push_back(static_cast<char>(hi * 16 + v));
            hi = -1;
        }
    }
    if (hi >= 0) throw std::invalid_argument("odd hex digits");
    return out;
}

inline std::string to_hex(std::string_view b) {
    static const char* d = "0123456789ABCDEF";
    std::string s;
    for (unsigned char c : b) {
        if (!s.empty()) s.push_back(' ');
        s.push_back(d[c >> 4]);
        s.push_back(d[c & 15]);
    }
    return s;
}

struct Record {
    uint16_t id;
    std::string data;
};

// Splits a file into its records; throws when a length runs past the end.
inline std::vector<Record> records(std::string_view f) {
    std::vector<Record> out;
    size_t i = 0;
    while (i < f.size()) {
        if (i + 4 > f.size()) throw std::runtime_error("truncated record header");
        auto u16 = [&](size_t at) {
            return static_cast<uint16_t>(static_cast<unsigned char>(f[at]) | (static_cast<unsigned char>(f[at + 1]) << 8));
        };
        uint16_t id = u16(i), len = u16(i + 2);
        if (i + 4 + len > f.size()) throw std::runtime_error("truncated record data");
        out.push_back({id, std::string(f.substr(i + 4, len))});
        i += 4 + len;
    }
    return out;
}

inline std::string f64(double x) {
    char b[8];
    std::memcpy(b, &x, 8);
    return std::string(b, 8);
}

}  // namespace xls_test
