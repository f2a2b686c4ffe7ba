#include "masters/periods.hpp"

#include <cstdio>

#include "common/dates.hpp"
#include "common/text.hpp"
#include "common/words.hpp"

namespace masters {

namespace {

using common::trim;

void put_text(xbase::Table& t, const char* name, const std::string& v) {
    int i = t.field_index(name);
    if (i >= 0) t.put_text(i, v);
}
void put_number(xbase::Table& t, const char* name, double v) {
    int i = t.field_index(name);
    if (i >= 0) t.put_number(i, v);
}
void put_date(xbase::Table& t, const char* name, common::Date v) {
    int i = t.field_index(name);
    if (i >= 0) t.put_date(i, v);
}

}  // namespace

std::string period_code(int year, int month) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d00", year, month);
    return buf;
}

std::string period_description(int year, int month) {
    return trim(common::MESANO(month)) + " " + std::to_string(year);
}

RegenerateResult regenerate_periods(xbase::Table& ppg, int first_year, int last_year, int lock_wait_ms) {
    RegenerateResult r;
    const int saved_order = ppg.order();
    ppg.set_order("Ppg1");
    for (int y = first_year; y <= last_year; ++y) {
        for (int m = 1; m <= 12; ++m) {
            const std::string code = period_code(y, m);
            const common::Date first = common::date_from_ymd(y, m, 1);
            // The day before the first day of the next month.
            const common::Date last =
                common::add_days(m == 12 ? common::date_from_ymd(y + 1, 1, 1) : common::date_from_ymd(y, m + 1, 1), -1);
            if (ppg.seek(code)) {
                if (!ppg.lock_record(0, lock_wait_ms)) {
                    ++r.skipped;
                    continue;
                }
                ++r.rewritten;
            } else {
                ppg.append_blank();  // the new record comes locked
                ++r.appended;
            }
            put_text(ppg, "PPCODIGO", code);
            put_text(ppg, "PPDESCRI", period_description(y, m));
            put_date(ppg, "PPFECINI", first);
            put_date(ppg, "PPFECFIN", last);
            put_number(ppg, "PPMESPRO", m);
            put_number(ppg, "PPANOPRO", y);
            put_number(ppg, "PPSEMANA", 1);
            put_number(ppg, "PPNUMSEM", 4);
            put_number(ppg, "PPSEMMES", 1);
            put_number(ppg, "PPTCCOMP", 0);
            put_number(ppg, "PPTCVENT", 0);
            put_number(ppg, "PPDIANET", 24);
            put_date(ppg, "PPFNTINI", first);
            put_date(ppg, "PPFNTFIN", last);
            put_date(ppg, "PPFEASIN", first);
            put_date(ppg, "PPFEASFI", last);
            put_number(ppg, "PPPLAGRA", 0);
            ppg.flush();
            ppg.unlock_record();
        }
    }
    ppg.commit();
    ppg.set_order(saved_order);
    ppg.go_top();
    return r;
}

RegenerateResult A_PPGGEN(data::Workspace& ws, const std::string& dir) {
    const data::TableDef& def = data::table("PERPAG");
    ws.close(def.alias);
    RegenerateResult r;
    try {
        xbase::Table& t = ws.open(def, dir, data::OpenMode::Exclusive);
        r = regenerate_periods(t);
    } catch (const data::TableBusy&) {
        ws.close(def.alias);
        ws.open(def, dir, data::OpenMode::Shared);
        throw;
    }
    ws.close(def.alias);
    xbase::Table& t = ws.open(def, dir, data::OpenMode::Shared);
    t.set_order(0);
    t.go_top();
    return r;
}

}  // namespace masters
