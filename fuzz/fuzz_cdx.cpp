// Fuzzes the compound index reader: the input is taken as the .cdx file of a small fixed,
// valid table whose fields cover the key expressions of the reference tables (so that the
// tags of VIA, NOTAS, MIXTAGS and PERSONAL compile against it). The table is opened
// read-only, and every tag is walked top to bottom and back, sought with low, high and
// input-derived keys, and finally every tag is checked against the records. A damaged file
// may throw xbase::Error; a crash, a sanitizer report, another exception or a traversal
// with more steps than the file has bytes (every entry takes at least one) is a bug.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_files.hpp"
#include "xbase/error.hpp"
#include "xbase/table.hpp"

namespace {


// The fixed table FZ.dbf in a per-process directory, made once; removed at a normal exit.
const std::string& scratch_dir() {
    // Never destroyed, so that the exit handler below can still use it.
    static const std::string& dir = *new std::string([] {
        std::string tmpl = make_scratch_dir("fuzz_cdx");
        const std::vector<xbase::FieldSpec> fields = {
            {"VICODIGO", 'C', 2, 0}, {"VINOMCIA", 'C', 20, 0}, {"NOCODIGO", 'C', 4, 0}, {"MXCODIGO", 'C', 6, 0},
            {"MXIMPORT", 'N', 10, 2}, {"MXFECHA", 'D', 8, 0}, {"MXFLAG", 'L', 1, 0},    {"MXCANT", 'N', 5, 0},
            {"PECODEMP", 'C', 4, 0}, {"PEAPELLI", 'C', 20, 0}, {"PEAPELL2", 'C', 20, 0}, {"PENOMBRE", 'C', 20, 0},
            {"PEFECNAC", 'D', 8, 0}, {"PELIBELE", 'C', 11, 0}, {"PECTOCTO", 'C', 10, 0}, {"PEFUTC01", 'C', 10, 0},
            {"PECALTUR", 'C', 2, 0},
        };
        auto t = xbase::Table::create(tmpl + "/FZ.dbf", fields);
        // 60 records with repeating codes (duplicate keys), empty dates and a few deletions.
        for (int r = 1; r <= 60; ++r) {
            t->append_blank();
            std::string code = std::to_string(1000 + (r * 37) % 50);
            for (int f : {0, 2, 3, 8, 14, 15, 16}) t->put_text(f, code.substr(4 - std::min<size_t>(4, t->fields()[size_t(f)].len)));
            for (int f : {1, 9, 10, 11, 13}) t->put_text(f, "NAME " + std::to_string(r % 7));
            t->put_number(4, (r % 11) * 125.5 - 300);
            t->put_number(7, r % 13);
            if (r % 4) t->put_date(5, 2450000 + r * 31);
            if (r % 5) t->put_date(12, 2440000 + r * 97);
            t->put_logical(6, r % 3 == 0);
            if (r % 9 == 0) t->delete_record();
        }
        t->close();
        return tmpl;
    }());
    return dir;
}

void walk_tag(xbase::Table& t, int tag, const uint8_t* data, size_t size) {
    const uint64_t cap = size + 1;
    t.set_order(tag);
    uint64_t n = 0;
    for (t.go_top(); !t.eof(); t.skip(1))
        if (++n > cap) __builtin_trap();  // the traversal does not end
    n = 0;
    for (t.go_bottom(); !t.eof() && !t.bof(); t.skip(-1))
        if (++n > cap) __builtin_trap();
    const size_t kl = size_t(t.tag(size_t(tag)).keylen);
    std::vector<uint8_t> key(kl, 0);
    t.seek_raw(key.data(), kl, true);
    std::fill(key.begin(), key.end(), 0xFF);
    t.seek_raw(key.data(), kl, false);
    // A key taken from the input's last bytes, and a short prefix of it.
    if (size >= kl) {
        t.seek_raw(data + size - kl, kl, true);
        t.seek_raw(data + size - kl, kl / 2, false);
    }
    for (const char* text : {"", "1", "NAME 3", "20000101"}) {
        try {
            t.seek(text, true);
        } catch (const xbase::ValueError&) {
            // not a number or a date for this tag's type
        }
    }
    if (!t.eof()) t.skip(1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string dir = scratch_dir();
    const std::string cdx = dir + "/FZ.cdx";
    if (!put_file(cdx, data, size)) return 0;
    try {
        auto t = xbase::Table::open(dir + "/FZ.dbf", xbase::OpenOptions{false, true});
        t->set_show_deleted(true);
        for (size_t i = 0; i < t->tag_count(); ++i) {
            try {
                walk_tag(*t, int(i), data, size);
            } catch (const xbase::Error&) {
                // this tag is damaged; the others are still walked
            }
        }
        t->check_indexes();
    } catch (const xbase::Error&) {
    }
    ::unlink(cdx.c_str());
    return 0;
}
