// The table catalogue: every table creates with its tags, key texts are kept as written,
// look-ups by name and alias, and the period payroll table names.
#include "data/catalogue.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <set>

#include "xbase/table.hpp"

namespace fs = std::filesystem;

namespace {

std::string upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

struct TempDir {
    fs::path path;
    TempDir() {
        std::string t = (fs::temp_directory_path() / "catalogue_test.XXXXXX").string();
        if (!::mkdtemp(t.data())) throw std::runtime_error("mkdtemp failed");
        path = t;
    }
    ~TempDir() { fs::remove_all(path); }
};

TEST(Catalogue, EveryTableCreatesWithItsTagsAndChecksClean) {
    TempDir dir;
    std::set<std::string> aliases;
    for (const data::TableDef& def : data::catalogue()) {
        SCOPED_TRACE(def.base);
        EXPECT_LE(def.base.size(), 8u);
        if (!def.alias.empty()) {
            EXPECT_TRUE(aliases.insert(upper(def.alias)).second) << "alias used twice";
        }
        auto t = xbase::Table::create((dir.path / (def.base + ".DBF")).string(), def.fields, def.tags);
        // A few records, one of them deleted, so that the tags hold keys.
        for (int i = 0; i < 3; ++i) {
            t->append_blank();
            t->put_value_text(0, std::to_string(3 - i));
        }
        t->go_to(2);
        t->delete_record();
        t->close();

        auto r = xbase::Table::open((dir.path / def.base).string(), {false, true});
        EXPECT_EQ(r->fields().size(), def.fields.size());
        ASSERT_EQ(r->tag_count(), def.tags.size());
        for (size_t i = 0; i < def.tags.size(); ++i) {
            EXPECT_EQ(r->tag(i).name, upper(def.tags[i].name));
            EXPECT_EQ(r->tag(i).key, def.tags[i].key);  // stored exactly as written
            EXPECT_TRUE(r->tag(i).compiled) << r->tag(i).compile_error;
        }
        EXPECT_TRUE(r->check_indexes().empty());
        EXPECT_FALSE(def.has_memo());
    }
}

TEST(Catalogue, KeyTextsAsListed) {
    struct Case {
        const char* table;
        size_t position;  // 0-based
        const char* tag;
        const char* key;
    };
    const Case cases[] = {
        {"VIA", 0, "vicodigo", "VICODIGO"},
        {"PERSONAL", 6, "Per7", "Str(Month(PeFecNac),4) + Str(Day(PeFecNac),4)"},
        {"PERSONAL", 10, "PerB", "PeCalTur + PeApelli + PeApell2 + PeNombre"},
        {"PERCTS", 0, "PCTS1", "Str(DcNumAno,4) + Str(DcNumMes,2)"},
        {"MOVSER", 7, "Movser8", "PlCodEmp + PlPerPag + DtoS(Prep_fem) + Prep_Ser + Prep_Num"},
        {"PRESDETA", 5, "PreDet6", "PdCodEmp + PdConcep + PdPerPag + PdNumDoc"},
        {"REMRET", 2, "RemRet3", "RrCtoCto+RrCodEmp"},
        {"TACONCE", 2, "TaCon3", "Str(TrNivel,3)+TrCodigo"},
        {"CONCEPTO", 3, "con4", "Left(CpCoRTPS,4)"},
        {"PERSER", 12, "PERD", "PeApelli + PeApell2 + PeNombre + PeNombr2"},
        {"ASICON", 0, "AsiCon1", "PlCodEmp + PlCtaDeb + PlCtaHab"},
        {"ASICONC", 0, "AsiCon1", "PlCtoCto + PlCtaDeb + PlCtaHab + PlCodAfp + PlCodRef"},
        {"PLANTOT", 7, "PlanTot8", "PlCodAfp + PlCtoCto + PlApelli"},
    };
    for (const Case& c : cases) {
        const auto& tags = data::tags_of(c.table);
        ASSERT_LT(c.position, tags.size()) << c.table;
        EXPECT_EQ(tags[c.position].name, c.tag) << c.table;
        EXPECT_EQ(tags[c.position].key, c.key) << c.table;
    }
    EXPECT_EQ(data::table("PERSONAL").tags.size(), 11u);
    EXPECT_EQ(data::table("PERSER").tags.size(), 13u);
    EXPECT_EQ(data::table("MOVSER").tags.size(), 10u);
    EXPECT_EQ(data::table("CTS").tags.size(), 8u);
    // Tags are found by name in the table they belong to.
    EXPECT_EQ(data::table("ASICONC").tag_index("asicon3"), 2);
    EXPECT_EQ(data::table("ASICONC").tag_index("AsiCon4"), -1);
}

TEST(Catalogue, LookUpByNameAndAliasIgnoresCase) {
    struct Case {
        const char* alias;
        const char* base;
    };
    const Case cases[] = {{"Per", "PERSONAL"}, {"per", "PERSONAL"}, {"PER", "PERSONAL"}, {"USER", "USUARIOS"},
                          {"tmpper", "TMPPER"}, {"perser", "PERSER"},  {"asiconc", "ASICONC"}, {"rtps", "RTAAAAMM"},
                          {"Via", "VIA"},       {"planTOT", "PLANTOT"}};
    for (const Case& c : cases) {
        const data::TableDef* t = data::find_by_alias(c.alias);
        ASSERT_NE(t, nullptr) << c.alias;
        EXPECT_EQ(t->base, c.base) << c.alias;
    }
    EXPECT_EQ(data::find_by_alias("Nada"), nullptr);
    EXPECT_EQ(data::find_by_alias(""), nullptr);  // templates without an alias are not found by it
    ASSERT_NE(data::find_table("personal.dbf"), nullptr);
    EXPECT_EQ(data::find_table("PersonaL")->alias, "Per");
    EXPECT_EQ(data::table("via").dir, data::DirKind::Program);
    EXPECT_EQ(data::table("TMPPER").dir, data::DirKind::Program);
    EXPECT_EQ(data::table("EMPRESA").dir, data::DirKind::Company);
    EXPECT_THROW(data::table("NOEXISTE"), std::out_of_range);
}

TEST(Catalogue, PayrollTableNames) {
    EXPECT_EQ(data::payroll_table_name(1, "201105"), "H1201105");
    EXPECT_EQ(data::payroll_table_name(3, "201012"), "H3201012");
    for (auto [cls, period] : {std::pair{4, "201105"}, {0, "201105"}, {1, "20115"}, {1, "201113"}, {1, "2011a5"},
                               {1, "../x1"}})
        EXPECT_THROW(data::payroll_table_name(cls, period), std::invalid_argument) << cls << " " << period;

    auto p = data::parse_payroll_table_name("h2201407.dbf");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->payroll_class, 2);
    EXPECT_EQ(p->year, 2014);
    EXPECT_EQ(p->month, 7);
    EXPECT_EQ(p->period, "201407");
    for (const char* bad : {"H4201105", "H1201100", "H120110", "X1201105", "H12011055", "PLANPER"})
        EXPECT_FALSE(data::parse_payroll_table_name(bad)) << bad;

    // Tags and fields of a period table come from its class.
    EXPECT_EQ(data::tags_of("H1201105")[0].name, "Planper1");
    EXPECT_EQ(data::tags_of("H2201105")[8].name, "PlanVac9");
    EXPECT_EQ(data::tags_of("h3201105")[2].key, "PlApelli + PlNombre");
    EXPECT_THROW(data::tags_of("H4201105"), std::out_of_range);
    const auto& fixed = data::fields_of("H1201105");
    EXPECT_EQ(fixed.front().name, "PLCLAPLA");
    EXPECT_EQ(fixed.back().name, "PLTRAPEN");
    EXPECT_EQ(fixed.size(), 31u);
    xbase::FieldSpec col = data::concept_column("sueldo");
    EXPECT_EQ(col.name, "SUELDO");
    EXPECT_EQ(col.type, 'N');
    EXPECT_EQ(col.len, 14);
    EXPECT_EQ(col.dec, 4);
}

TEST(Catalogue, StartSetOpensEveryCompanyTableOnce) {
    auto set = data::abrefiles_tables("201105");
    ASSERT_EQ(set.size(), 26u);
    EXPECT_EQ(set.front().alias, "Emp");
    EXPECT_EQ(set.back().alias, "user");
    std::set<std::string> bases;
    for (const auto& e : set) {
        EXPECT_TRUE(bases.insert(e.base).second) << e.base;
        if (e.alias == "PlanPer") {
            EXPECT_EQ(e.base, "H1201105");
            continue;
        }
        const data::TableDef* t = data::find_by_alias(e.alias);
        ASSERT_NE(t, nullptr) << e.alias;
        EXPECT_EQ(t->dir, data::DirKind::Company) << e.alias;
    }
}

}  // namespace
