// Header variants and field types that existing data may hold beyond what this engine
// creates: a Visual-style table (version 0x30, field descriptors followed by the 263-byte
// back-link area) with binary integer, double, currency, datetime and 4-byte memo pointers.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "xbase/memo.hpp"
#include "xbase/table.hpp"

namespace fs = std::filesystem;

namespace {

struct Desc {
    const char* name;
    char type;
    uint8_t len, dec;
};

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

TEST(Formats, ReadsBinaryFieldTypesAndFourByteMemoPointers) {
    char tmpl[] = "/tmp/planilla-formats-XXXXXX";
    fs::path dir = mkdtemp(tmpl);
    const Desc fields[] = {{"CODIGO", 'C', 4, 0}, {"CANT", 'I', 4, 0}, {"TASA", 'B', 8, 2},
                           {"MONTO", 'Y', 8, 4}, {"MOMENTO", 'T', 8, 0}, {"NOTA", 'M', 4, 0}};
    const size_t nf = std::size(fields);
    uint32_t rl = 1;
    for (auto& f : fields) rl += f.len;
    uint32_t hl = 32 + 32 * nf + 1 + 263;
    std::vector<uint8_t> b(hl + 2 * rl + 1, 0);
    b[0] = 0x30;
    b[1] = 126;
    b[2] = 12;
    b[3] = 11;
    put32(b, 4, 2);
    b[8] = uint8_t(hl);
    b[9] = uint8_t(hl >> 8);
    b[10] = uint8_t(rl);
    b[28] = 0x02;  // has memo
    b[29] = 0x03;
    uint32_t off = 1;
    for (size_t i = 0; i < nf; ++i) {
        uint8_t* d = b.data() + 32 + 32 * i;
        std::memcpy(d, fields[i].name, std::strlen(fields[i].name));
        d[11] = uint8_t(fields[i].type);
        put32(b, 32 + 32 * i + 12, off);
        d[16] = fields[i].len;
        d[17] = fields[i].dec;
        off += fields[i].len;
    }
    b[32 + 32 * nf] = 0x0D;
    // The memo file first, so that the records can point at real blocks.
    auto memo = xbase::MemoFile::create((dir / "VFP.fpt").string(), 64);
    uint32_t block = memo->write(0, "nota de prueba \xF1");
    memo.reset();
    for (int r = 0; r < 2; ++r) {
        uint8_t* p = b.data() + hl + r * rl;
        p[0] = r ? '*' : ' ';
        std::memcpy(p + 1, r ? "B002" : "A001", 4);
        int32_t cant = r ? -7 : 123456;
        std::memcpy(p + 5, &cant, 4);
        double tasa = r ? -0.5 : 12.75;
        std::memcpy(p + 9, &tasa, 8);
        int64_t monto = r ? -15 : 12345678;  // in ten-thousandths
        std::memcpy(p + 17, &monto, 8);
        uint32_t jd = r ? 0 : 2455698, ms = 3600000;  // 2011-05-16
        std::memcpy(p + 25, &jd, 4);
        std::memcpy(p + 29, &ms, 4);
        uint32_t ptr = r ? 0 : block;
        std::memcpy(p + 33, &ptr, 4);
    }
    b.back() = 0x1A;
    std::ofstream(dir / "VFP.DBF", std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));

    auto t = xbase::Table::open((dir / "vfp").string(), {false, true});  // any case, no extension
    EXPECT_EQ(t->version_byte(), 0x30);
    EXPECT_EQ(t->header_length(), hl);
    t->set_show_deleted(true);
    t->go_top();
    EXPECT_EQ(t->get_number(1), 123456);
    EXPECT_EQ(t->get_number(2), 12.75);
    EXPECT_EQ(t->get_number(3), 1234.5678);
    EXPECT_EQ(t->get_text(4), "20110516");
    EXPECT_EQ(t->get_text(5), "nota de prueba ñ");
    t->skip(1);
    EXPECT_TRUE(t->deleted());
    EXPECT_EQ(t->get_number(1), -7);
    EXPECT_EQ(t->get_number(3), -0.0015);
    EXPECT_EQ(t->get_text(4), "");
    EXPECT_EQ(t->get_text(5), "");
    fs::remove_all(dir);
}

// A record filter hides what it rejects from every navigation, in any order.
TEST(Formats, FilterByPredicate) {
    auto t = xbase::Table::open(std::string(PLANILLA_FIXTURES) + "/xbase/MIXTAGS.dbf", {false, true});
    int flag = t->field_index("MXFLAG");
    size_t all = 0, flagged = 0;
    for (t->go_top(); !t->eof(); t->skip(1)) {
        ++all;
        flagged += t->get_logical(flag);
    }
    t->set_filter([flag](xbase::Table& x) { return x.get_logical(flag); });
    for (int order : {-1, 0, 3}) {
        t->set_order(order);
        size_t n = 0;
        for (t->go_top(); !t->eof(); t->skip(1), ++n) ASSERT_TRUE(t->get_logical(flag));
        EXPECT_EQ(n, flagged);
        size_t back = 0;
        for (t->go_bottom(); !t->eof() && !t->bof(); t->skip(-1)) ++back;
        EXPECT_EQ(back, flagged);
    }
    EXPECT_LT(flagged, all);
}

}  // namespace
