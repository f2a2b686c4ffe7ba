#include "xbase/field.hpp"

#include <string_view>

namespace xbase {

namespace {

char ascii_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ascii_upper(a[i]) != ascii_upper(b[i])) return false;
    return true;
}

}  // namespace

int find_field(const std::vector<Field>& fields, std::string_view name) {
    for (size_t i = 0; i < fields.size(); ++i)
        if (same_name(fields[i].name, name)) return static_cast<int>(i);
    return -1;
}

}  // namespace xbase
