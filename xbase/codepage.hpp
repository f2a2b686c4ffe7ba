#pragma once
// Conversion between a table's single-byte code page and UTF-8.
//
// Every byte value round-trips: the bytes Windows-1252 leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the C1 controls U+0081, U+008D, U+008F, U+0090, U+009D and back, so
// arbitrary bytes (scrambled passwords) survive a read and a write unchanged.
#include <cstdint>
#include <string>
#include <string_view>

namespace xbase {

enum class CodePage { Win1252, Cp850, Cp437 };

// The code page named by byte 29 of a DBF header: 0x01 = 437, 0x02 = 850, 0x03 = 1252;
// 0 and anything unknown = Windows-1252 (the program's default).
CodePage codepage_from_byte(uint8_t b);

// Decodes single-byte text to UTF-8.
std::string to_utf8(std::string_view bytes, CodePage cp);

// Encodes UTF-8 to single-byte text. Characters the code page cannot hold become '?', and
// *lossy (when given) is set. Malformed UTF-8 bytes are taken as Latin-1 code points.
std::string from_utf8(std::string_view utf8, CodePage cp, bool* lossy = nullptr);

// Number of characters (code points) in a UTF-8 text.
size_t utf8_length(std::string_view utf8);

// Upper case of one byte in the code page (ASCII letters and the accented letters of the page).
uint8_t upper_byte(uint8_t b, CodePage cp);

}  // namespace xbase
