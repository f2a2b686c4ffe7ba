#include "xbase/codepage.hpp"

#include <gtest/gtest.h>

#include <string>

using xbase::CodePage;
using xbase::from_utf8;
using xbase::to_utf8;
using xbase::upper_byte;
using xbase::utf8_length;

namespace {

const CodePage kAll[] = {CodePage::Win1252, CodePage::Cp850, CodePage::Cp437};

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s.push_back(static_cast<char>(b));
    return s;
}

TEST(CodePage, EveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    for (CodePage cp : kAll) {
        std::string utf8 = to_utf8(all, cp);
        EXPECT_EQ(utf8_length(utf8), 256u) << "each byte is one character";
        bool lossy = false;
        EXPECT_EQ(from_utf8(utf8, cp, &lossy), all) << "page " << static_cast<int>(cp);
        EXPECT_FALSE(lossy);
    }
}

TEST(CodePage, KnownCharacters) {
    const struct { CodePage cp; const char* utf8; int byte; } cases[] = {
        {CodePage::Win1252, "é", 0xE9}, {CodePage::Win1252, "ñ", 0xF1}, {CodePage::Win1252, "Ñ", 0xD1},
        {CodePage::Win1252, "€", 0x80}, {CodePage::Win1252, "º", 0xBA}, {CodePage::Win1252, "ª", 0xAA},
        {CodePage::Win1252, "Ÿ", 0x9F}, {CodePage::Win1252, "\u0081", 0x81}, {CodePage::Win1252, "\u009D", 0x9D},
        {CodePage::Cp850, "á", 0xA0},   {CodePage::Cp850, "é", 0x82},   {CodePage::Cp850, "í", 0xA1},
        {CodePage::Cp850, "ó", 0xA2},   {CodePage::Cp850, "ú", 0xA3},   {CodePage::Cp850, "ñ", 0xA4},
        {CodePage::Cp850, "Ñ", 0xA5},   {CodePage::Cp850, "Á", 0xB5},   {CodePage::Cp850, "Ó", 0xE0},
        {CodePage::Cp437, "á", 0xA0},   {CodePage::Cp437, "é", 0x82},   {CodePage::Cp437, "í", 0xA1},
        {CodePage::Cp437, "ó", 0xA2},   {CodePage::Cp437, "ú", 0xA3},   {CodePage::Cp437, "ñ", 0xA4},
        {CodePage::Cp437, "Ñ", 0xA5},   {CodePage::Cp437, "─", 0xC4},   {CodePage::Cp437, "\u00A0", 0xFF},
    };
    for (const auto& c : cases) {
        std::string b(1, static_cast<char>(c.byte));
        EXPECT_EQ(to_utf8(b, c.cp), c.utf8) << "byte " << c.byte;
        EXPECT_EQ(from_utf8(c.utf8, c.cp), b) << c.utf8;
    }
    EXPECT_EQ(to_utf8("N\xFA\xF1" "ez, Jos\xE9", CodePage::Win1252), "Núñez, José");
}

TEST(CodePage, UnmappableCharactersBecomeQuestionMarks) {
    const struct { CodePage cp; const char* utf8; const char* want; bool lossy; } cases[] = {
        {CodePage::Win1252, "año 2024", "a\xF1o 2024", false},
        {CodePage::Win1252, "Δx≠0 🙂", "?x?0 ?", true},
        {CodePage::Cp437, "Á€", "??", true},   // 437 has neither
        {CodePage::Cp850, "€", "?", true},
        {CodePage::Cp437, "Σ", "\xE4", false},
    };
    for (const auto& c : cases) {
        bool lossy = false;
        EXPECT_EQ(from_utf8(c.utf8, c.cp, &lossy), c.want) << c.utf8;
        EXPECT_EQ(lossy, c.lossy) << c.utf8;
    }
    EXPECT_EQ(from_utf8("€", CodePage::Cp850), "?") << "the flag is optional";
}

TEST(CodePage, MalformedUtf8IsReadAsLatin1) {
    // Each bad byte stands for the Latin-1 character of its value, so text already in
    // Windows-1252 passes through, and nothing is dropped: length and output agree.
    // Bytes 0x80-0x9F as Latin-1 are C1 controls; of those 1252 holds only its five undefined
    // bytes, so U+0080 and U+0082 become '?' while U+00A0-U+00FF map to themselves.
    const struct { std::string in; std::string want; } cases[] = {
        {"Jos\xE9", "Jos\xE9"},                                 // a 1252 byte where UTF-8 was expected
        {bytes({0xC3}), bytes({0xC3})},                          // truncated two-byte sequence
        {bytes({0xE2, 0x82}), bytes({0xE2, '?'})},               // truncated three-byte sequence
        {bytes({0xC0, 0xAF}), bytes({0xC0, 0xAF})},              // overlong '/'
        {bytes({0xED, 0xA0, 0x80}), bytes({0xED, 0xA0, '?'})},   // encoded surrogate
        {bytes({0xF8, 0x41}), bytes({0xF8, 'A'})},               // invalid lead byte
        {bytes({0xC3, 0xA9, 0xA9}), bytes({0xE9, 0xA9})},        // é, then a stray continuation byte
    };
    for (const auto& c : cases) {
        std::string got = from_utf8(c.in, CodePage::Win1252);
        EXPECT_EQ(got, c.want);
        EXPECT_EQ(utf8_length(c.in), got.size());
    }
}

TEST(CodePage, Utf8Length) {
    EXPECT_EQ(utf8_length(""), 0u);
    EXPECT_EQ(utf8_length("PEREZ"), 5u);
    EXPECT_EQ(utf8_length("Núñez"), 5u);
    EXPECT_EQ(utf8_length("€ 🙂"), 3u);
}

TEST(CodePage, UpperByte) {
    const struct { CodePage cp; int lower, upper; } cases[] = {
        {CodePage::Win1252, 'a', 'A'},   {CodePage::Win1252, 'z', 'Z'},   {CodePage::Win1252, 0xE9, 0xC9},
        {CodePage::Win1252, 0xF1, 0xD1}, {CodePage::Win1252, 0xFE, 0xDE}, {CodePage::Win1252, 0x9A, 0x8A},
        {CodePage::Win1252, 0x9C, 0x8C}, {CodePage::Win1252, 0x9E, 0x8E}, {CodePage::Win1252, 0xFF, 0x9F},
        {CodePage::Win1252, 0xF7, 0xF7}, {CodePage::Win1252, 0xDF, 0xDF}, {CodePage::Win1252, 0xBA, 0xBA},
        {CodePage::Win1252, 0xD1, 0xD1}, {CodePage::Win1252, '1', '1'},
        {CodePage::Cp850, 0xA4, 0xA5},   {CodePage::Cp850, 0xA0, 0xB5},   {CodePage::Cp850, 0x82, 0x90},
        {CodePage::Cp850, 0xA2, 0xE0},   {CodePage::Cp850, 0x81, 0x9A},   {CodePage::Cp850, 0xE1, 0xE1},
        {CodePage::Cp850, 0x98, 0x98},   // ÿ: no Ÿ in 850
        {CodePage::Cp437, 0xA4, 0xA5},   {CodePage::Cp437, 0x82, 0x90},   {CodePage::Cp437, 0x81, 0x9A},
        {CodePage::Cp437, 0xA0, 0xA0},   // á: no Á in 437
        {CodePage::Cp437, 0xE5, 0xE5},   // σ: only Latin letters are folded
    };
    for (const auto& c : cases)
        EXPECT_EQ(upper_byte(static_cast<uint8_t>(c.lower), c.cp), c.upper)
            << "page " << static_cast<int>(c.cp) << " byte " << c.lower;
}

TEST(CodePage, FromHeaderByte) {
    EXPECT_EQ(xbase::codepage_from_byte(0x00), CodePage::Win1252);
    EXPECT_EQ(xbase::codepage_from_byte(0x01), CodePage::Cp437);
    EXPECT_EQ(xbase::codepage_from_byte(0x02), CodePage::Cp850);
    EXPECT_EQ(xbase::codepage_from_byte(0x03), CodePage::Win1252);
    EXPECT_EQ(xbase::codepage_from_byte(0xC8), CodePage::Win1252);
}

}  // namespace
