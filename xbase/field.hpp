#pragma once
// Field descriptors of a DBF record, shared by the table, the key-expression compiler and
// the memo layer.
#include <cstdint>
#include <string>
#include <vector>

namespace xbase {

struct Field {
    std::string name;    // upper case, at most 10 characters
    char type = 'C';     // C N F D L M I B T Y
    uint32_t offset = 0; // byte offset within the record buffer (byte 0 is the deletion flag)
    uint16_t len = 0;    // width in bytes
    uint8_t dec = 0;     // decimals (N, F, B)
    uint8_t flags = 0;   // descriptor flags byte (Visual FoxPro)
};

// Case-insensitive lookup; returns -1 when the name is not a field.
int find_field(const std::vector<Field>& fields, std::string_view name);

}  // namespace xbase
