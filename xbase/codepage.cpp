#include "xbase/codepage.hpp"

#include <algorithm>
#include <array>

namespace xbase {
namespace {

// Upper halves (bytes 0x80-0xFF) as Unicode code points. Bytes 0x00-0x7F are ASCII in
// every page.
using Half = std::array<char32_t, 128>;

constexpr Half kWin1252 = {
    // 0x80: the undefined 0x81, 0x8D, 0x8F, 0x90, 0x9D keep their C1 control code points
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    // 0xA0-0xFF: the same as Latin-1
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF,
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,
    0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};

constexpr Half kCp437 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 0x80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 0x90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // 0xA0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // 0xB0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // 0xC0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // 0xD0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // 0xE0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // 0xF0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

constexpr Half kCp850 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 0x80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 0x90
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // 0xA0
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0,  // 0xB0
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,  // 0xC0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE,  // 0xD0
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,  // 0xE0
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,  // 0xF0
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};

// Upper-case form of a Latin letter, or 0 when it has none (or is not a letter we fold).
// Only Latin letters: Greek letters of 437 and the dotless i of 850 are left alone.
constexpr char32_t latin_upper(char32_t c) {
    if (c >= 'a' && c <= 'z') return c - 0x20;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;  // à-þ, but not ÷
    switch (c) {
        case 0x00FF: return 0x0178;  // ÿ -> Ÿ
        case 0x0161: return 0x0160;  // š -> Š
        case 0x0153: return 0x0152;  // œ -> Œ
        case 0x017E: return 0x017D;  // ž -> Ž
        default: return 0;
    }
}

struct HighEntry {
    char32_t cp;
    uint8_t byte;
};

// Everything derived from one page's table, built at compile time so that other static
// initialisers may convert text safely.
struct Page {
    Half decode{};
    // UTF-8 of each upper-half byte (at most three bytes: every code point is below U+10000).
    std::array<std::array<char, 3>, 128> utf8{};
    std::array<uint8_t, 128> utf8_len{};
    // Code point below U+0100 -> byte, or -1 when the page lacks it.
    std::array<int16_t, 256> low{};
    // Code points from U+0100 up, sorted, with their bytes.
    std::array<HighEntry, 128> high{};
    size_t high_count = 0;
    std::array<uint8_t, 256> upper{};

    constexpr int encode(char32_t c) const {
        if (c < 0x100) return low[c];
        size_t lo = 0, hi = high_count;
        while (lo < hi) {
            size_t mid = (lo + hi) / 2;
            if (high[mid].cp < c) lo = mid + 1;
            else hi = mid;
        }
        return (lo < high_count && high[lo].cp == c) ? high[lo].byte : -1;
    }
    constexpr char32_t code_point(uint8_t b) const { return b < 0x80 ? b : decode[b - 0x80]; }
};

constexpr Page make_page(const Half& half) {
    Page p;
    p.decode = half;
    for (auto& v : p.low) v = -1;
    for (int b = 0; b < 0x80; ++b) p.low[b] = static_cast<int16_t>(b);
    for (int i = 0; i < 128; ++i) {
        char32_t c = half[i];
        uint8_t byte = static_cast<uint8_t>(0x80 + i);
        if (c < 0x800) {
            p.utf8[i] = {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F)), 0};
            p.utf8_len[i] = 2;
        } else {
            p.utf8[i] = {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                         static_cast<char>(0x80 | (c & 0x3F))};
            p.utf8_len[i] = 3;
        }
        if (c < 0x100) p.low[c] = byte;
        else p.high[p.high_count++] = {c, byte};
    }
    std::sort(p.high.begin(), p.high.begin() + p.high_count,
              [](const HighEntry& a, const HighEntry& b) { return a.cp < b.cp; });
    for (int b = 0; b < 256; ++b) {
        p.upper[b] = static_cast<uint8_t>(b);
        char32_t up = latin_upper(p.code_point(static_cast<uint8_t>(b)));
        if (up == 0) continue;
        int ub = p.encode(up);
        if (ub >= 0) p.upper[b] = static_cast<uint8_t>(ub);
    }
    return p;
}

constexpr Page kPages[] = {make_page(kWin1252), make_page(kCp850), make_page(kCp437)};

constexpr const Page& page(CodePage cp) {
    switch (cp) {
        case CodePage::Cp850: return kPages[1];
        case CodePage::Cp437: return kPages[2];
        case CodePage::Win1252: break;
    }
    return kPages[0];
}

// Reads one code point at s[i] and advances i. A byte that does not start a well-formed
// sequence (stray continuation byte, overlong form, surrogate, truncated sequence, above
// U+10FFFF) is taken alone as the Latin-1 character of the same value.
inline char32_t next_code_point(std::string_view s, size_t& i) {
    const auto u = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
    const uint8_t b0 = u(i);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    const size_t avail = s.size() - i;
    const auto cont = [&](size_t k) { return (u(i + k) & 0xC0) == 0x80; };
    if (b0 >= 0xC2 && b0 <= 0xDF && avail >= 2 && cont(1)) {
        char32_t c = (char32_t(b0 & 0x1F) << 6) | (u(i + 1) & 0x3F);
        i += 2;
        return c;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF && avail >= 3 && cont(1) && cont(2)) {
        char32_t c = (char32_t(b0 & 0x0F) << 12) | (char32_t(u(i + 1) & 0x3F) << 6) | (u(i + 2) & 0x3F);
        if (c >= 0x800 && (c < 0xD800 || c > 0xDFFF)) {
            i += 3;
            return c;
        }
    }
    if (b0 >= 0xF0 && b0 <= 0xF4 && avail >= 4 && cont(1) && cont(2) && cont(3)) {
        char32_t c = (char32_t(b0 & 0x07) << 18) | (char32_t(u(i + 1) & 0x3F) << 12) |
                     (char32_t(u(i + 2) & 0x3F) << 6) | (u(i + 3) & 0x3F);
        if (c >= 0x10000 && c <= 0x10FFFF) {
            i += 4;
            return c;
        }
    }
    ++i;
    return b0;
}

}  // namespace

CodePage codepage_from_byte(uint8_t b) {
    switch (b) {
        case 0x01: return CodePage::Cp437;
        case 0x02: return CodePage::Cp850;
        default: return CodePage::Win1252;
    }
}

std::string to_utf8(std::string_view bytes, CodePage cp) {
    const Page& p = page(cp);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (char ch : bytes) {
        auto b = static_cast<uint8_t>(ch);
        if (b < 0x80) {
            out.push_back(ch);
        } else {
            out.append(p.utf8[b - 0x80].data(), p.utf8_len[b - 0x80]);
        }
    }
    return out;
}

std::string from_utf8(std::string_view utf8, CodePage cp, bool* lossy) {
    const Page& p = page(cp);
    std::string out;
    out.reserve(utf8.size());
    bool lost = false;
    for (size_t i = 0; i < utf8.size();) {
        if (static_cast<uint8_t>(utf8[i]) < 0x80) {  // ASCII runs map to themselves
            size_t j = i;
            while (j < utf8.size() && static_cast<uint8_t>(utf8[j]) < 0x80) ++j;
            out.append(utf8.data() + i, j - i);
            i = j;
            continue;
        }
        char32_t c = next_code_point(utf8, i);
        int b = c < 0x80 ? static_cast<int>(c) : p.encode(c);
        if (b < 0) {
            lost = true;
            b = '?';
        }
        out.push_back(static_cast<char>(b));
    }
    if (lossy && lost) *lossy = true;
    return out;
}

size_t utf8_length(std::string_view utf8) {
    // Counts exactly the characters from_utf8() produces, malformed bytes included.
    size_t n = 0;
    for (size_t i = 0; i < utf8.size(); ++n) {
        if (static_cast<uint8_t>(utf8[i]) < 0x80) ++i;
        else next_code_point(utf8, i);
    }
    return n;
}

uint8_t upper_byte(uint8_t b, CodePage cp) { return page(cp).upper[b]; }

}  // namespace xbase
