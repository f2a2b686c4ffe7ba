#pragma once
// Small helpers for writing a record by field name, used where tables are filled in code
// (new company directories, the demo company). A field the table does not have is an
// error (xbase::ValueError), so a misspelt name is caught at once.
#include <string>
#include <string_view>

#include "common/dates.hpp"
#include "xbase/table.hpp"

namespace data::fill {

inline int index(const xbase::Table& t, std::string_view field) {
    int i = t.field_index(field);
    if (i < 0) t.field(field);  // throws, naming the field and the table
    return i;
}

// A text longer than its field is an error, not cut (widths count characters).
inline void text(xbase::Table& t, std::string_view field, std::string_view v) {
    const int i = index(t, field);
    const xbase::Field& f = t.fields()[size_t(i)];
    if (f.type == 'C') {
        size_t chars = 0;
        for (unsigned char c : v) chars += (c & 0xC0) != 0x80;
        if (chars > f.len)
            throw xbase::ValueError("\"" + std::string(v) + "\" does not fit field " + f.name + " (" +
                                    std::to_string(f.len) + " characters) of table " + t.name());
    }
    t.put_text(i, v);
}
inline void number(xbase::Table& t, std::string_view field, double v) { t.put_number(index(t, field), v); }
inline void date(xbase::Table& t, std::string_view field, common::Date v) { t.put_date(index(t, field), v); }
inline void date(xbase::Table& t, std::string_view field, int y, int m, int d) {
    t.put_date(index(t, field), common::date_from_ymd(y, m, d));
}
inline void flag(xbase::Table& t, std::string_view field, bool v) { t.put_logical(index(t, field), v); }

}  // namespace data::fill
