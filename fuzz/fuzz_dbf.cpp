// Fuzzes the table reader: the input is taken as a whole .dbf file (no index file; an empty
// memo file next to it, so that tables with memo fields open too). The table is opened
// read-only, shared and then exclusive (which reads records through its chunk cache), and
// every record is visited forwards and backwards reading every field in every way its type
// allows. A damaged file may throw xbase::Error; a crash, a sanitizer report, another
// exception or a traversal longer than the file can hold is a bug.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "fuzz/fuzz_files.hpp"
#include "xbase/error.hpp"
#include "xbase/table.hpp"

namespace {


// A per-process directory holding F.dbf and F.fpt; removed when the process exits normally.
const std::string& scratch_dir() {
    // Never destroyed, so that the exit handler below can still use it.
    static const std::string& dir = *new std::string([] {
        std::string tmpl = make_scratch_dir("fuzz_dbf");
        return tmpl;
    }());
    return dir;
}

// An empty memo file: next free block 8, block size 64.
void put_empty_memo(const std::string& path) {
    uint8_t head[512] = {};
    head[3] = 8;
    head[7] = 64;
    put_file(path, head, sizeof head);
}

void read_every_field(xbase::Table& t) {
    const auto& fields = t.fields();
    for (size_t i = 0; i < fields.size(); ++i) {
        const int fi = int(i);
        try {
            t.get_raw(fi);
            t.get_text(fi);
            switch (fields[i].type) {
                case 'N': case 'F': case 'I': case 'B': case 'Y': t.get_number(fi); break;
                case 'D': case 'T': t.get_date(fi); break;
                case 'L': t.get_logical(fi); break;
                default: break;
            }
        } catch (const xbase::Error&) {
            // A memo pointer into nowhere: the next field is still read.
        }
    }
    t.deleted();
}

void walk(xbase::Table& t, uint64_t max_records) {
    t.set_show_deleted(true);
    uint64_t n = 0;
    for (t.go_top(); !t.eof(); t.skip(1)) {
        read_every_field(t);
        if (++n > max_records) __builtin_trap();  // more records than the file can hold
    }
    n = 0;
    for (t.go_bottom(); !t.eof() && !t.bof(); t.skip(-1)) {
        read_every_field(t);
        if (++n > max_records) __builtin_trap();
    }
    const uint32_t count = t.reccount();
    for (uint32_t r : {0u, 1u, count / 2, count, count + 1, 0xFFFFFFFFu}) {
        t.go_to(r);
        if (!t.eof()) read_every_field(t);
    }
    t.set_show_deleted(false);
    for (t.go_top(); !t.eof(); t.skip(1))
        if (++n > 2 * max_records + 2) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string dbf = scratch_dir() + "/F.dbf";
    if (!put_file(dbf, data, size)) return 0;
    put_empty_memo(scratch_dir() + "/F.fpt");
    for (bool exclusive : {false, true}) {
        try {
            auto t = xbase::Table::open(dbf, xbase::OpenOptions{exclusive, true});
            walk(*t, size);  // every record takes at least one byte of the file
        } catch (const xbase::Error&) {
        }
    }
    ::unlink(dbf.c_str());
    return 0;
}
