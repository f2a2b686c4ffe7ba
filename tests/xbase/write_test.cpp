// Write side of the engine: scripted changes to copies of the reference tables and tables
// created from scratch, checked by our own index check and by independent readers
// (python3-dbfread for records and memos, Perl XBase::Index for the order of every
// character tag).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "xbase/table.hpp"

namespace fs = std::filesystem;
using nlohmann::json;
using xbase::Table;

namespace {

std::string run(const std::string& cmd, int* rc = nullptr) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int st = pclose(p);
    if (rc) *rc = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return out;
}

std::string quote(const std::string& s) { return "'" + s + "'"; }

struct TempDir {
    fs::path dir;
    TempDir() {
        char tmpl[] = "/tmp/planilla-write-XXXXXX";
        dir = mkdtemp(tmpl);
    }
    ~TempDir() { fs::remove_all(dir); }
    std::string copy(const std::string& table) {
        for (const char* ext : {".dbf", ".cdx", ".fpt"}) {
            fs::path src = fs::path(PLANILLA_FIXTURES) / "xbase" / (table + ext);
            if (fs::exists(src)) {
                fs::copy_file(src, dir / (table + ext));
                fs::permissions(dir / (table + ext), fs::perms::owner_write, fs::perm_options::add);
            }
        }
        return (dir / (table + ".dbf")).string();
    }
};

std::string rtrim(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
    return s;
}

// Our view of every record: deleted flag and the values as the independent reader shows them.
std::vector<json> our_records(Table& t) {
    std::vector<json> out;
    t.set_order(-1);
    t.set_show_deleted(true);
    for (bool del : {false, true}) {
        for (t.go_top(); !t.eof(); t.skip(1)) {
            if (t.deleted() != del) continue;
            json v = json::object();
            for (size_t i = 0; i < t.fields().size(); ++i) {
                const auto& f = t.fields()[i];
                int fi = int(i);
                switch (f.type) {
                    case 'N': v[f.name] = t.get_number(fi); break;
                    case 'L': v[f.name] = t.get_logical(fi); break;
                    case 'D': { auto s = t.get_text(fi); v[f.name] = s.empty() ? json() : json(s); break; }
                    case 'M': { auto s = t.get_text(fi); v[f.name] = s.empty() ? json() : json(s); break; }
                    default: v[f.name] = rtrim(t.get_text(fi));
                }
            }
            out.push_back({{"deleted", del}, {"values", v}});
        }
    }
    return out;
}

void expect_independent_readers_agree(const std::string& dbf) {
    auto t = Table::open(dbf, {false, true});
    EXPECT_TRUE(t->check_indexes().empty()) << fmt::format("{}", fmt::join(t->check_indexes(), "\n"));
    int rc = 0;
    std::string cli = run(std::string(PLANILLA_CLI) + " dbf check " + quote(dbf), &rc);
    EXPECT_EQ(rc, 0) << cli;

    // Records and memos through python3-dbfread.
    std::string py = run("/usr/bin/python3 " + std::string(PLANILLA_SOURCE_DIR) + "/tests/xbase/tools/read_dbf.py " + quote(dbf), &rc);
    ASSERT_EQ(rc, 0) << py;
    std::vector<json> theirs;
    std::istringstream in(py);
    for (std::string line; std::getline(in, line);) theirs.push_back(json::parse(line));
    std::vector<json> ours = our_records(*t);
    ASSERT_EQ(theirs.size(), ours.size());
    for (size_t i = 0; i < ours.size(); ++i) {
        ASSERT_EQ(theirs[i]["deleted"], ours[i]["deleted"]) << i;
        for (auto& [name, v] : ours[i]["values"].items()) {
            const json& w = theirs[i]["values"][name];
            if (v.is_number()) {
                EXPECT_NEAR(w.is_null() ? 0.0 : w.get<double>(), v.get<double>(), 1e-9) << name << " of entry " << i;
            } else if (v.is_string() && w.is_string()) {
                EXPECT_EQ(rtrim(w.get<std::string>()), rtrim(v.get<std::string>())) << name << " of entry " << i;
            } else if (v.is_boolean()) {
                EXPECT_EQ(w.is_null() ? false : w.get<bool>(), v.get<bool>()) << name << " of entry " << i;  // blank logical
            } else {
                EXPECT_EQ(w, v) << name << " of entry " << i;
            }
        }
    }

    // Every character tag walked by Perl XBase::Index in our order (deleted records included).
    t->set_show_deleted(true);
    for (size_t i = 0; i < t->tag_count(); ++i) {
        const auto& g = t->tag(i);
        if (g.keytype != xbase::KeyType::Char || g.descending) continue;
        std::string perl = run("perl " + std::string(PLANILLA_SOURCE_DIR) + "/tests/xbase/tools/walk_cdx.pl " +
                                   quote(t->cdx_path()) + " " + g.name, &rc);
        ASSERT_EQ(rc, 0) << perl;
        std::vector<uint32_t> theirs_order, ours_order;
        std::istringstream pin(perl);
        for (std::string line; std::getline(pin, line);) theirs_order.push_back(uint32_t(std::stoul(line)));
        t->set_order(int(i));
        for (t->go_top(); !t->eof(); t->skip(1)) ours_order.push_back(t->recno());
        EXPECT_EQ(theirs_order, ours_order) << "tag " << g.name << " of " << dbf;
    }
}

void put(Table& t, const char* field, const std::string& v) { t.put_value_text(t.field_index(field), v); }

TEST(Write, ScriptedChangesToPersonalStayConsistent) {
    TempDir tmp;
    std::string dbf = tmp.copy("PERSONAL");
    {
        auto t = Table::open(dbf, {true, false});
        std::mt19937 rng(7);
        uint32_t n = t->reccount();
        const char* surnames[] = {"PEÑA", "ÁLVAREZ", "ZÚÑIGA", "ARCE", "NUÑEZ", "QUISPE"};
        for (int i = 0; i < 300; ++i) {
            t->append_blank();
            put(*t, "PECODEMP", fmt::format("X{:03d}", i));
            put(*t, "PEAPELLI", surnames[i % 6]);
            put(*t, "PENOMBRE", i % 3 ? "MARÍA" : "");
            put(*t, "PEFECNAC", i % 5 ? fmt::format("19{:02d}{:02d}{:02d}", 50 + i % 40, 1 + i % 12, 1 + i % 28) : "");
            put(*t, "PELIBELE", fmt::format("{:08d}", rng() % 100000000));
            put(*t, "PECTOCTO", i % 2 ? "VENTAS" : "ADM");
            t->put_number(t->field_index("PESUELDO"), -1234.565 + i);
            if (i % 7 == 0) put(*t, "PECALTUR", "Z");
        }
        for (int i = 0; i < 200; ++i) {  // key changes of existing records
            t->go_to(1 + rng() % n);
            put(*t, "PEAPELLI", surnames[rng() % 6]);
            put(*t, "PECODEMP", fmt::format("{:04d}", rng() % 10000));
            if (i % 3 == 0) put(*t, "PEFECNAC", "");
        }
        t->set_show_deleted(true);
        for (int i = 0; i < 100; ++i) {
            t->go_to(1 + rng() % (n + 300));
            t->delete_record();
        }
        for (int i = 0; i < 30; ++i) {
            t->go_to(1 + rng() % (n + 300));
            t->recall();
        }
        t->commit();
    }
    expect_independent_readers_agree(dbf);
    {
        auto t = Table::open(dbf, {true, false});
        t->set_show_deleted(true);
        uint32_t before = t->reccount(), deleted = 0;
        for (t->go_top(); !t->eof(); t->skip(1)) deleted += t->deleted();
        t->pack();
        EXPECT_EQ(t->reccount(), before - deleted);
    }
    expect_independent_readers_agree(dbf);
}

TEST(Write, MemosRewrittenAndMixedTags) {
    TempDir tmp;
    std::string notas = tmp.copy("NOTAS");
    std::string mix = tmp.copy("MIXTAGS");
    std::map<uint32_t, std::string> expect;
    {
        auto t = Table::open(notas, {true, false});
        int memo = t->field_index("NOTEXTO");
        for (uint32_t r : {1u, 2u, 3u, 50u, 120u, 200u}) {
            t->go_to(r);
            std::string old = t->get_text(memo);
            std::string now = old.substr(0, old.size() / 2);
            if (r % 2 == 0)
                for (int k = 0; k < 2500; ++k) now += "ñ";
            t->put_text(memo, now);
            expect[r] = now;
        }
        t->append_blank();
        t->put_text(memo, std::string(64 - 8, 'x'));  // exactly one block
        put(*t, "NOCODIGO", "9999");
        expect[t->recno()] = std::string(56, 'x');
        t->commit();
    }
    {
        auto t = Table::open(notas, {false, true});
        for (auto& [r, s] : expect) {
            t->go_to(r);
            std::string got = t->get_text(t->field_index("NOTEXTO"));
            EXPECT_TRUE(got == s) << "memo of record " << r << ": " << got.size() << " bytes, expected " << s.size()
                                  << ", starts '" << got.substr(0, 20) << "'";
        }
    }
    expect_independent_readers_agree(notas);
    {
        auto t = Table::open(mix, {true, false});
        std::mt19937 rng(11);
        for (int i = 0; i < 400; ++i) {
            if (i % 4 == 0) t->append_blank(); else t->go_to(1 + rng() % t->reccount());
            put(*t, "MXCODIGO", fmt::format("{}{:05d}", char('A' + rng() % 26), rng() % 100000));
            t->put_number(t->field_index("MXIMPORT"), double(int(rng() % 2000000) - 1000000) / 100.0);
            put(*t, "MXFECHA", i % 9 == 0 ? "" : fmt::format("20{:02d}0{}15", rng() % 30, 1 + rng() % 9));
            t->put_logical(t->field_index("MXFLAG"), rng() % 2);
            if (i % 10 == 0) t->delete_record();
        }
        t->commit();
    }
    expect_independent_readers_agree(mix);
}

TEST(Write, TablesCreatedFromScratchWithCatalogueKeys) {
    TempDir tmp;
    std::string path = (tmp.dir / "PRESDETA.dbf").string();
    {
        auto t = Table::create(path,
                               {{"PDCODEMP", 'C', 4, 0}, {"PDNOMBRE", 'C', 30, 0}, {"PDCTOCTO", 'C', 10, 0},
                                {"PDCONCEP", 'C', 3, 0}, {"PDNUMDOC", 'C', 10, 0}, {"PDNUMCUO", 'N', 3, 0},
                                {"PDFECPRE", 'D', 8, 0}, {"PDPERPAG", 'C', 8, 0}, {"PDIMPORT", 'N', 14, 4},
                                {"PDOBSERV", 'M', 10, 0}},
                               {{"PreDet1", "PdCodEmp + DtoS(PdFecPre) + PdConcep + PdNumDoc + Str(PdNumCuo,3)"},
                                {"PreDet2", "PdCtoCto + PdCodEmp + DtoS(PdFecPre) + PdNumDoc + Str(PdNumCuo,3)"},
                                {"PreDet3", "PdNombre + DtoS(PdFecPre) + PdConcep + PdNumDoc + Str(PdNumCuo,3)"},
                                {"PreDet5", "PdCodEmp + PdNumDoc + Str(PdNumCuo,3)"},
                                {"PreDet6", "PdCodEmp + PdConcep + PdPerPag + PdNumDoc"},
                                {"PreDet7", "Str(Month(PdFecPre),4) + Str(Day(PdFecPre),4)"},
                                {"PreDet8", "Left(PdPerPag,6)"}});
        EXPECT_EQ(t->version_byte(), 0xF5);
        EXPECT_EQ(t->flags_byte() & 1, 1);
        std::mt19937 rng(3);
        for (int i = 0; i < 2500; ++i) {
            t->append_blank();
            put(*t, "PDCODEMP", fmt::format("{:04d}", rng() % 300));
            put(*t, "PDNOMBRE", i % 4 ? "GONZÁLEZ PEÑA" : "ÑAHUI");
            put(*t, "PDCTOCTO", fmt::format("C{}", rng() % 12));
            put(*t, "PDCONCEP", "022");
            put(*t, "PDNUMDOC", fmt::format("{:06d}", rng() % 5000));
            t->put_number(t->field_index("PDNUMCUO"), rng() % 999);
            put(*t, "PDFECPRE", i % 11 ? fmt::format("2011{:02d}{:02d}", 1 + rng() % 12, 1 + rng() % 28) : "");
            put(*t, "PDPERPAG", fmt::format("2012{:02d}00", 1 + rng() % 12));
            t->put_number(t->field_index("PDIMPORT"), 115.225 * (i % 13));
            if (i % 50 == 0) t->put_text(t->field_index("PDOBSERV"), fmt::format("cuota {} — año {}", i, 2011));
        }
        t->commit();
        // Rounding half away from zero on the decimal value when numbers are stored.
        t->go_to(2);
        EXPECT_EQ(t->get_raw(t->field_index("PDIMPORT")), "      115.2250");
    }
    expect_independent_readers_agree(path);

    // A number too wide for its field is an error naming table, field and value; nothing changes.
    auto t = Table::open(path, {true, false});
    t->go_to(1);
    std::string before = t->get_raw(t->field_index("PDNUMCUO"));
    try {
        t->put_number(t->field_index("PDNUMCUO"), 1000);
        FAIL() << "no error";
    } catch (const xbase::ValueError& e) {
        std::string m = e.what();
        EXPECT_NE(m.find("PDNUMCUO"), std::string::npos) << m;
        EXPECT_NE(m.find("PRESDETA"), std::string::npos) << m;
        EXPECT_NE(m.find("1000"), std::string::npos) << m;
    }
    EXPECT_EQ(t->get_raw(t->field_index("PDNUMCUO")), before);
}

TEST(Write, EveryByteOfTextSurvivesReadAndWrite) {
    TempDir tmp;
    std::string path = (tmp.dir / "USUARIOS.dbf").string();
    auto t = Table::create(path, {{"CODIGO", 'C', 5, 0}, {"CLAVE", 'C', 128, 0}}, {{"USER1", "codigo"}});
    for (int block = 0; block < 2; ++block) {
        std::string bytes;
        for (int b = 1; b < 128; ++b) bytes.push_back(char(block * 128 + b));
        t->append_blank();
        t->put_text(0, fmt::format("U{}", block));
        // Arbitrary bytes travel as their UTF-8 decoding and come back unchanged.
        t->put_text(1, xbase::to_utf8(bytes, t->codepage()));
        t->flush();
        EXPECT_EQ(t->get_raw(1).substr(0, 127), bytes);
    }
    t->close();
    auto r = Table::open(path, {false, true});
    r->set_order("user1");
    EXPECT_TRUE(r->seek("U1"));
    EXPECT_EQ(xbase::from_utf8(r->get_text(1), r->codepage()).substr(0, 127)[0], char(129));
}

TEST(Write, RefusesBadDefinitionsWithoutLeavingFiles) {
    TempDir tmp;
    std::string path = (tmp.dir / "BAD.dbf").string();
    EXPECT_THROW(Table::create(path, {{"A", 'C', 5, 0}}, {{"T1", "A + Nope"}}), xbase::ExprError);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_THROW(Table::create(path, {{"TOOLONGNAME1", 'C', 5, 0}}), xbase::ValueError);
    EXPECT_THROW(Table::create(path, {{"A", 'N', 5, 4}}), xbase::ValueError);
    EXPECT_THROW(Table::create(path, {{"A", 'C', 5, 0}, {"a", 'C', 5, 0}}), xbase::ValueError);
    Table::create(path, {{"A", 'C', 5, 0}});
    EXPECT_THROW(Table::create(path, {{"A", 'C', 5, 0}}), xbase::Error);  // never overwrites
}

}  // namespace

namespace {

// A tag whose expression this engine cannot evaluate still serves navigation; any change
// to the table is refused with an error naming the tag and its expression.
TEST(Write, UncompilableTagIsReadOnly) {
    TempDir tmp;
    std::string path = (tmp.dir / "CTOCTO.dbf").string();
    {
        auto t = Table::create(path, {{"CTCODIGO", 'C', 10, 0}, {"CTDESCRI", 'C', 30, 0}}, {{"Cto1", "CtCodigo"}, {"Cto2", "CtDescri"}});
        for (const char* c : {"B", "A", "C"}) {
            t->append_blank();
            t->put_text(0, c);
        }
    }
    // Rename the function in the stored key text to one the engine does not know.
    std::string cdx = (tmp.dir / "CTOCTO.cdx").string();
    std::string bytes;
    {
        std::ifstream in(cdx, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    size_t at = bytes.find("CtDescri");
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, 8, "Qx(CtCo)");
    std::ofstream(cdx, std::ios::binary | std::ios::trunc) << bytes;

    auto t = Table::open(path, {false, false});
    ASSERT_FALSE(t->tag(1).compiled);
    t->set_order("CTO1");
    std::vector<std::string> codes;
    for (t->go_top(); !t->eof(); t->skip(1)) codes.push_back(t->get_text(0).substr(0, 1));
    EXPECT_EQ(codes, (std::vector<std::string>{"A", "B", "C"}));
    t->set_order("CTO2");
    size_t n = 0;
    for (t->go_top(); !t->eof(); t->skip(1)) ++n;
    EXPECT_EQ(n, 3u);
    try {
        t->append_blank();
        FAIL() << "append was allowed";
    } catch (const xbase::ExprError& e) {
        std::string m = e.what();
        EXPECT_NE(m.find("CTO2"), std::string::npos) << m;
        EXPECT_NE(m.find("Qx(CtCo)"), std::string::npos) << m;
    }
    EXPECT_EQ(t->reccount(), 3u);
}

}  // namespace

namespace {

// Long runs of one key appended in order (a blank code on every record) keep pages full,
// also once record numbers need wider leaf entries past 65,535.
TEST(Write, LongRunOfEqualKeysPastWideRecordNumbers) {
    TempDir tmp;
    std::string path = (tmp.dir / "RUNS.dbf").string();
    {
        auto t = Table::create(path, {{"CODE", 'C', 8, 0}, {"N", 'N', 6, 0}}, {{"RUN1", "Code"}, {"RUN2", "Str(N,6)"}});
        for (int i = 0; i < 70000; ++i) {
            t->append_blank();
            if (i % 1000 == 999) t->put_text(0, "Z");
            t->put_number(1, i);
        }
        t->commit();
        EXPECT_TRUE(t->check_indexes().empty());
    }
    // 70,000 entries of 3-4 bytes fill fewer than 1,500 pages per tag.
    EXPECT_LT(fs::file_size(tmp.dir / "RUNS.cdx"), 2u * 1500 * 512);
    auto t = Table::open(path, {false, true});
    t->set_order("RUN2");
    EXPECT_TRUE(t->seek(" 65536"));
    EXPECT_EQ(t->recno(), 65537u);
}

}  // namespace

namespace {

// A table whose memo file is missing opens; its other fields read, its memos say what is missing.
TEST(Write, MissingMemoFileIsReportedOnUse) {
    TempDir tmp;
    std::string dbf = tmp.copy("NOTAS");
    fs::remove(tmp.dir / "NOTAS.fpt");
    auto t = Table::open(dbf, {false, true});
    t->go_to(3);
    EXPECT_EQ(t->get_text(t->field_index("NOCODIGO")), "0003");
    try {
        t->get_text(t->field_index("NOTEXTO"));
        FAIL() << "memo read without its file";
    } catch (const xbase::Error& e) {
        EXPECT_NE(std::string(e.what()).find("NOTAS.fpt"), std::string::npos) << e.what();
    }
}

}  // namespace
