// Work areas: aliases, saved positions, relations, filters, the busy refusal of exclusive
// opens, checked file names and the comparison settings.
#include "data/workspace.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "data/fill.hpp"

namespace fs = std::filesystem;
using namespace data::fill;

namespace {

struct TempDir {
    fs::path path;
    TempDir() {
        std::string t = (fs::temp_directory_path() / "workspace_test.XXXXXX").string();
        if (!::mkdtemp(t.data())) throw std::runtime_error("mkdtemp failed");
        path = t;
    }
    ~TempDir() { fs::remove_all(path); }
};

std::string trimmed(xbase::Table& t, const char* field) {
    std::string s = t.get_text(t.field_index(field));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// Four employees in three cost centres (one unknown), one of them ceased.
class WorkspaceTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string d;
    data::Workspace ws;

    void SetUp() override {
        data::apply_start_settings();
        d = dir.path.string();
        const auto& cto = data::table("CTOCTO");
        auto c = xbase::Table::create(d + "/CTOCTO.DBF", cto.fields, cto.tags);
        for (auto [code, name] : {std::pair{"PRO", "PRODUCCION"}, {"ADM", "ADMINISTRACION"}}) {
            c->append_blank();
            text(*c, "CTCODIGO", code);
            text(*c, "CTDESCRI", name);
        }
        c->close();
        const auto& per = data::table("PERSONAL");
        auto p = xbase::Table::create(d + "/PERSONAL.DBF", per.fields, per.tags);
        struct E {
            const char* code;
            const char* surname;
            const char* cc;
            int state;
        };
        for (const E& e : {E{"0003", "QUISPE", "PRO", 1}, E{"0001", "BENAVIDES", "ADM", 1}, E{"0002", "ROJAS", "XXX", 7},
                           E{"0004", "AGUILAR", "PRO", 1}}) {
            p->append_blank();
            text(*p, "PECODEMP", e.code);
            text(*p, "PEAPELLI", e.surname);
            text(*p, "PECTOCTO", e.cc);
            number(*p, "PEACTIVI", e.state);
        }
        p->close();
    }
};

TEST_F(WorkspaceTest, AliasesIgnoreCase) {
    ws.open(data::table("PERSONAL"), d);
    ws.open("cto", d, "ctocto.dbf");  // the file name's case does not matter either
    EXPECT_EQ(ws.current_alias(), "cto");
    EXPECT_TRUE(ws.is_open("PER"));
    EXPECT_EQ(&ws.area("per"), &ws.area("Per"));
    ws.select("PER");
    EXPECT_EQ(ws.current_alias(), "Per");
    EXPECT_EQ(ws.current().name(), "PERSONAL");
    EXPECT_EQ(ws.order_number("per"), 1);  // tag 1 controls after an open
    EXPECT_THROW(ws.open("pEr", d, "CTOCTO"), data::WorkspaceError);
    EXPECT_THROW(ws.select("Nada"), data::WorkspaceError);
    ws.close("PER");
    EXPECT_FALSE(ws.is_open("Per"));
    EXPECT_FALSE(ws.has_current());
    EXPECT_THROW(ws.current(), data::WorkspaceError);
    EXPECT_EQ(ws.aliases(), std::vector<std::string>{"cto"});
    ws.close_all();
    EXPECT_TRUE(ws.aliases().empty());
}

TEST_F(WorkspaceTest, SavedPositionComesBack) {
    ws.open(data::table("CTOCTO"), d);
    ws.open(data::table("PERSONAL"), d);
    ws.set_order("Per", "Per2");  // by surname
    ASSERT_TRUE(ws.seek("Per", "QUISPE"));
    const uint32_t rec = ws.area("Per").recno();
    {
        data::Workspace::Keep keep(ws, "Per");
        ws.set_order("Per", 1);
        EXPECT_TRUE(ws.seek("Per", "0004"));
        ws.select("Cto");
    }
    EXPECT_EQ(ws.current_alias(), "Per");
    EXPECT_EQ(ws.order_number("Per"), 2);
    EXPECT_EQ(ws.area("Per").recno(), rec);
    ws.skip("Per");  // the order continues from the restored record
    EXPECT_EQ(trimmed(ws.area("Per"), "PEAPELLI"), "ROJAS");
    ws.skip("Per");
    ASSERT_TRUE(ws.area("Per").eof());

    // End of file is remembered as such.
    auto saved = ws.save("Per");
    ws.go_top("Per");
    ws.restore(saved);
    EXPECT_TRUE(ws.area("Per").eof());
}

TEST_F(WorkspaceTest, RelationMovesTheChild) {
    ws.open(data::table("CTOCTO"), d);
    ws.open(data::table("PERSONAL"), d);
    ws.set_order("Cto", "Cto1");
    ws.set_relation("Per", "Cto", "PeCtoCto");
    ws.set_order("Per", "Per1");
    std::vector<std::string> seen;
    for (ws.go_top("Per"); !ws.area("Per").eof(); ws.skip("Per"))
        seen.push_back(trimmed(ws.area("Per"), "PECODEMP") + ":" +
                       (ws.area("Cto").eof() ? std::string("-") : trimmed(ws.area("Cto"), "CTDESCRI")));
    EXPECT_EQ(seen, (std::vector<std::string>{"0001:ADMINISTRACION", "0002:-", "0003:PRODUCCION", "0004:PRODUCCION"}));
    EXPECT_TRUE(ws.area("Cto").eof());  // the parent at end of file
    ws.seek("Per", "0003");
    EXPECT_EQ(trimmed(ws.area("Cto"), "CTCODIGO"), "PRO");
    EXPECT_THROW(ws.set_relation("Per", "Cto", "NoField"), xbase::ExprError);
    EXPECT_THROW(ws.set_relation("Cto", "Per", "CtCodigo"), data::WorkspaceError);  // a cycle
    ws.clear_relations("Per");
    ws.seek("Per", "0001");
    EXPECT_EQ(trimmed(ws.area("Cto"), "CTCODIGO"), "PRO");  // no longer follows
}

TEST_F(WorkspaceTest, FiltersAndDeletedRecordsAreSkipped) {
    ws.open(data::table("PERSONAL"), d, data::OpenMode::Exclusive);
    auto codes = [&] {
        std::vector<std::string> r;
        for (ws.go_top("Per"); !ws.area("Per").eof(); ws.skip("Per")) r.push_back(trimmed(ws.area("Per"), "PECODEMP"));
        return r;
    };
    ws.set_filter("Per", "PEACTIVI = 1");
    EXPECT_EQ(codes(), (std::vector<std::string>{"0001", "0003", "0004"}));
    ASSERT_TRUE(ws.seek("Per", "0003"));
    ws.area("Per").delete_record();
    EXPECT_EQ(codes(), (std::vector<std::string>{"0001", "0004"}));
    EXPECT_FALSE(ws.seek("Per", "0003"));  // soft seek off: end of file
    EXPECT_TRUE(ws.area("Per").eof());
    ws.set_filter("Per", "  ");
    EXPECT_EQ(codes(), (std::vector<std::string>{"0001", "0002", "0004"}));
    EXPECT_THROW(ws.set_filter("Per", "PEACTIVI = "), xbase::ExprError);
}

TEST_F(WorkspaceTest, ExclusiveOpenRefusedWhileOthersHaveTheTable) {
    data::Workspace other;
    other.open(data::table("PERSONAL"), d, data::OpenMode::Shared);
    try {
        ws.open(data::table("PERSONAL"), d, data::OpenMode::Exclusive);
        FAIL() << "exclusive open succeeded";
    } catch (const data::TableBusy& e) {
        EXPECT_STREQ(e.what(), "Archivo Planilla usado por otros usuario");
        EXPECT_EQ(e.title(), "Otros Usuarios salgan del Sistema KERDAVO...");
        EXPECT_NE(e.path().find("PERSONAL"), std::string::npos);
    }
    EXPECT_FALSE(ws.is_open("Per"));
    // Shared opens share; once the other closes, the exclusive open goes through.
    EXPECT_NO_THROW(ws.open(data::table("PERSONAL"), d, data::OpenMode::Shared));
    ws.close_all();
    other.close_all();
    EXPECT_TRUE(ws.open(data::table("PERSONAL"), d, data::OpenMode::Exclusive).exclusive());
}

TEST(Paths, CheckedJoin) {
    for (const char* ok : {"H1201105.DBF", "planper", "PB011230.cdx", "A-B_C.DBF"})
        EXPECT_EQ(data::checked_join("/x/y", ok), std::string("/x/y/") + ok);
    EXPECT_EQ(data::checked_join("/x/y/", "VIA.DBF"), "/x/y/VIA.DBF");
    for (const char* bad : {"", "..", "../EMPRESA", "a/b.dbf", "C:\\X.DBF", "TOOLONGNAME.DBF", "A.DBFX", "A.", ".DBF",
                            "A B.DBF", "A.D.F"})
        EXPECT_THROW(data::checked_join("/x", bad), std::invalid_argument) << bad;
}

TEST(Settings, TextComparison) {
    data::apply_start_settings();
    EXPECT_TRUE(data::settings().deleted_hidden);
    EXPECT_FALSE(data::settings().soft_seek);
    struct Case {
        const char* a;
        const char* b;
        bool inexact, exact;
    };
    const Case cases[] = {{"0123", "01", true, false}, {"01", "0123", false, false}, {"01  ", "01", true, true},
                          {"ABC", "", true, false},    {"ABC", "ABC", true, true},   {"ABD", "ABC", false, false}};
    for (const Case& c : cases) {
        data::settings().exact = false;
        EXPECT_EQ(data::text_equal(c.a, c.b), c.inexact) << c.a << "|" << c.b;
        data::settings().exact = true;
        EXPECT_EQ(data::text_equal(c.a, c.b), c.exact) << c.a << "|" << c.b;
    }
    data::apply_start_settings();
    EXPECT_FALSE(data::full_equal("0123", "01"));
}

}  // namespace
