// Generation of the monthly periods 2010-2015 in the period table.
#include "masters/periods.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "common/dates.hpp"
#include "data/fill.hpp"

namespace fs = std::filesystem;

namespace {

struct TempDir {
    fs::path path;
    TempDir() {
        std::string t = (fs::temp_directory_path() / "periods_test.XXXXXX").string();
        if (!::mkdtemp(t.data())) throw std::runtime_error("mkdtemp failed");
        path = t;
    }
    ~TempDir() { fs::remove_all(path); }
};

double num(xbase::Table& t, const char* f) { return t.get_number(t.field_index(f)); }
common::Date day(xbase::Table& t, const char* f) { return t.get_date(t.field_index(f)); }
std::string txt(xbase::Table& t, const char* f) {
    std::string s = t.get_text(t.field_index(f));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

class PeriodsTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string path;
    void SetUp() override {
        data::apply_start_settings();
        path = (dir.path / "PERPAG.DBF").string();
        const auto& def = data::table("PERPAG");
        xbase::Table::create(path, def.fields, def.tags)->close();
    }
    std::unique_ptr<xbase::Table> open(bool exclusive = false) {
        auto t = xbase::Table::open(path, {exclusive, false});
        t->set_order("Ppg1");
        return t;
    }
};

TEST_F(PeriodsTest, SeventyTwoMonthsWithTheirValues) {
    auto t = open();
    auto r = masters::regenerate_periods(*t);
    EXPECT_EQ(r.appended, 72);
    EXPECT_EQ(r.rewritten, 0);
    ASSERT_EQ(t->reccount(), 72u);
    int n = 0;
    for (t->go_top(); !t->eof(); t->skip(), ++n) {
        const int y = 2010 + n / 12, m = 1 + n % 12;
        SCOPED_TRACE(masters::period_code(y, m));
        EXPECT_EQ(txt(*t, "PPCODIGO"), masters::period_code(y, m));
        const common::Date first = common::date_from_ymd(y, m, 1);
        const common::Date last = common::date_from_ymd(y, m, common::days_in_month(y, m));
        for (const char* f : {"PPFECINI", "PPFNTINI", "PPFEASIN"}) EXPECT_EQ(day(*t, f), first) << f;
        for (const char* f : {"PPFECFIN", "PPFNTFIN", "PPFEASFI"}) EXPECT_EQ(day(*t, f), last) << f;
        EXPECT_EQ(num(*t, "PPMESPRO"), m);
        EXPECT_EQ(num(*t, "PPANOPRO"), y);
        EXPECT_EQ(num(*t, "PPSEMANA"), 1);
        EXPECT_EQ(num(*t, "PPNUMSEM"), 4);
        EXPECT_EQ(num(*t, "PPSEMMES"), 1);
        EXPECT_EQ(num(*t, "PPDIANET"), 24);
        EXPECT_EQ(num(*t, "PPTCCOMP") + num(*t, "PPTCVENT") + num(*t, "PPPLAGRA"), 0);
    }
    EXPECT_EQ(n, 72);
    EXPECT_TRUE(t->check_indexes().empty());

    struct Case {
        const char* key;
        const char* code;
        const char* descri;
        int y, m, d;  // last day
    };
    const Case cases[] = {{"201105", "20110500", "MAYO 2011", 2011, 5, 31},
                          {"201202", "20120200", "FEBRERO 2012", 2012, 2, 29},
                          {"201312", "20131200", "DICIEMBRE 2013", 2013, 12, 31},
                          {"201409", "20140900", "SETIEMBRE 2014", 2014, 9, 30}};
    for (const Case& c : cases) {
        ASSERT_TRUE(t->seek(c.key)) << c.key;  // the six-character period finds its record
        EXPECT_EQ(txt(*t, "PPCODIGO"), c.code);
        EXPECT_EQ(txt(*t, "PPDESCRI"), c.descri);
        EXPECT_EQ(day(*t, "PPFECFIN"), common::date_from_ymd(c.y, c.m, c.d));
    }
    EXPECT_FALSE(t->seek("201601"));
}

TEST_F(PeriodsTest, RerunRewritesAndAddsNothing) {
    auto t = open();
    masters::regenerate_periods(*t);
    // Hand changes, a mark, and a period outside the generated years.
    ASSERT_TRUE(t->seek("201106"));
    ASSERT_TRUE(t->lock_record());
    data::fill::text(*t, "PPDESCRI", "CAMBIADO");
    data::fill::date(*t, "PPFECFIN", 2011, 6, 15);
    data::fill::number(*t, "PPDIANET", 20);
    data::fill::number(*t, "PPPLANI2", 1);
    t->unlock_record();
    t->append_blank();
    data::fill::text(*t, "PPCODIGO", "20091200");
    data::fill::text(*t, "PPDESCRI", "MIO");
    t->unlock_record();

    auto r = masters::regenerate_periods(*t);
    EXPECT_EQ(r.appended, 0);
    EXPECT_EQ(r.rewritten, 72);
    EXPECT_EQ(t->reccount(), 73u);
    ASSERT_TRUE(t->seek("201106"));
    EXPECT_EQ(txt(*t, "PPDESCRI"), "JUNIO 2011");
    EXPECT_EQ(day(*t, "PPFECFIN"), common::date_from_ymd(2011, 6, 30));
    EXPECT_EQ(num(*t, "PPDIANET"), 24);
    EXPECT_EQ(num(*t, "PPPLANI2"), 1);  // marks are kept
    ASSERT_TRUE(t->seek("200912"));
    EXPECT_EQ(txt(*t, "PPDESCRI"), "MIO");
}

TEST_F(PeriodsTest, LockedRecordIsSkipped) {
    auto t = open();
    masters::regenerate_periods(*t);
    auto other = open();
    ASSERT_TRUE(other->seek("201203"));
    ASSERT_TRUE(other->lock_record());
    auto r = masters::regenerate_periods(*t, 2010, 2015, 0);
    EXPECT_EQ(r.skipped, 1);
    EXPECT_EQ(r.rewritten, 71);
}

TEST_F(PeriodsTest, ExclusiveGenerationRefusedWhileOthersHaveTheTable) {
    data::Workspace ws;
    ws.open(data::table("PERPAG"), dir.path.string());
    {
        auto other = open();
        EXPECT_THROW(masters::A_PPGGEN(ws, dir.path.string()), data::TableBusy);
        EXPECT_TRUE(ws.is_open("Ppg"));  // reopened shared
        EXPECT_FALSE(ws.area("Ppg").exclusive());
    }
    auto r = masters::A_PPGGEN(ws, dir.path.string());
    EXPECT_EQ(r.appended, 72);
    EXPECT_EQ(ws.current_alias(), "Ppg");
    EXPECT_FALSE(ws.area("Ppg").exclusive());
    EXPECT_EQ(ws.order_number("Ppg"), 1);
    EXPECT_EQ(ws.area("Ppg").reccount(), 72u);
}

}  // namespace
