#include "common/routines/text.hpp"

#include <algorithm>

#include "xbase/table.hpp"

namespace common::routines {

namespace {

int index_of(const xbase::Table& t, std::string_view field) {
    int i = t.field_index(field);
    if (i < 0) t.field(field);  // throws, naming the field and the table
    return i;
}

}  // namespace

std::string field_text(const xbase::Table& t, std::string_view field) { return t.get_text(index_of(t, field)); }
double field_number(const xbase::Table& t, std::string_view field) { return t.get_number(index_of(t, field)); }
int field_date(const xbase::Table& t, std::string_view field) { return t.get_date(index_of(t, field)); }
bool field_flag(const xbase::Table& t, std::string_view field) { return t.get_logical(index_of(t, field)); }

}  // namespace common::routines
