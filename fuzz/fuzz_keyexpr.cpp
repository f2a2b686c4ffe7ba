// Compiles arbitrary text as a key expression and as a FOR condition against a field list
// with every field type, and evaluates what compiles on a few records, one of them filled
// with the input's own bytes. Compile errors (xbase::Error) are expected; anything else
// (a crash, a sanitizer report, another exception) is a bug.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "xbase/error.hpp"
#include "xbase/keyexpr.hpp"

namespace {

struct Layout {
    std::vector<xbase::Field> fields;
    size_t reclen = 1;

    void add(const char* name, char type, uint16_t len, uint8_t dec = 0) {
        xbase::Field f;
        f.name = name;
        f.type = type;
        f.len = len;
        f.dec = dec;
        f.offset = static_cast<uint32_t>(reclen);
        reclen += len;
        fields.push_back(f);
    }
};

const Layout& layout() {
    static const Layout l = [] {
        Layout l;
        l.add("CODE", 'C', 6);
        l.add("NAME", 'C', 30);
        l.add("AMOUNT", 'N', 12, 2);
        l.add("COUNT", 'N', 3);
        l.add("RATE", 'F', 10, 4);
        l.add("BORN", 'D', 8);
        l.add("FLAG", 'L', 1);
        l.add("QTY", 'I', 4);
        l.add("DBL", 'B', 8, 2);
        l.add("CASH", 'Y', 8);
        l.add("STAMP", 'T', 8);
        l.add("NOTES", 'M', 10);
        l.add("WIDE", 'C', 254);
        return l;
    }();
    return l;
}

std::vector<uint8_t> sample_record() {
    const Layout& l = layout();
    std::vector<uint8_t> r(l.reclen, ' ');
    auto put = [&](int field, std::string_view bytes) {
        std::memcpy(r.data() + l.fields[field].offset, bytes.data(), bytes.size());
    };
    put(0, "A1b2\xE9 ");
    put(1, "PE\xD1" "A  maria");
    put(2, "    -1234.56");
    put(3, " 42");
    put(4, "    3.1416");
    put(5, "19991231");
    put(6, "T");
    put(7, std::string_view("\xFE\xFF\xFF\xFF", 4));
    put(8, std::string_view("\0\0\0\0\0\0\xF0\x7F", 8));  // +infinity
    put(9, std::string_view("\x40\xE2\x01\0\0\0\0\0", 8));
    put(10, std::string_view("\x59\x68\x25\0\0\0\0\0", 8));
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Layout& l = layout();
    static const std::vector<uint8_t> sample = sample_record();
    std::vector<uint8_t> blank(l.reclen, ' ');
    blank[0] = '*';
    std::vector<uint8_t> noise(l.reclen, 0);
    for (size_t i = 0; i < noise.size() && size > 0; ++i) noise[i] = data[i % size];
    const uint8_t* records[] = {sample.data(), blank.data(), noise.data()};

    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<uint8_t> out;
    try {
        xbase::KeyExpr k = xbase::KeyExpr::compile(text, l.fields);
        out.resize(static_cast<size_t>(k.length()));
        for (const uint8_t* r : records) k.eval(r, out.data());
    } catch (const xbase::Error&) {
    }
    try {
        xbase::ForExpr f = xbase::ForExpr::compile(text, l.fields);
        for (const uint8_t* r : records) (void)f.eval(r);
    } catch (const xbase::Error&) {
    }
    return 0;
}
