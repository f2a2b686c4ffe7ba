#pragma once
// The monthly pay periods of the period table: one record per month of the years kept
// (2010 to 2015), rewritten at every start so that descriptions, dates and the generated
// values return to what the generation writes.
#include <string>

#include "data/catalogue.hpp"
#include "data/workspace.hpp"
#include "xbase/table.hpp"

namespace masters {

// "20110500" for May 2011: four-digit year, two-digit month, "00".
std::string period_code(int year, int month);
// "MAYO 2011": the month name trimmed, a blank and the year.
std::string period_description(int year, int month);

struct RegenerateResult {
    int appended = 0;   // records that did not exist
    int rewritten = 0;  // records found and written again
    int skipped = 0;    // records that could not be locked (left as they were)
};

// Writes every month of first_year..last_year into the period table `ppg` (open shared or
// exclusively, with its tag Ppg1): a month missing is appended, and every month's record,
// new or not, gets the generated values (code, description, the three pairs of dates,
// month, year, weeks 1/4/1, exchange rates 0, 24 net days, PPPLAGRA 0). PPPLANI1..4 keep
// what they hold. Fields a table lacks are left out. The table's order is restored and the
// table is left on its first record. Records are written under their record locks, waiting
// up to lock_wait_ms for each; one that stays locked is skipped.
RegenerateResult regenerate_periods(xbase::Table& ppg, int first_year = data::kFirstPeriodYear,
                                    int last_year = data::kLastPeriodYear, int lock_wait_ms = 2000);

// The start-up's second generation: closes `Ppg` in the workspace, opens the period table of
// `dir` exclusively (data::TableBusy when another workstation has it open, with `Ppg`
// reopened shared), regenerates the periods, and reopens it shared under `Ppg` in tag 1,
// current. Refilling the period pick list is left to the caller.
RegenerateResult A_PPGGEN(data::Workspace& ws, const std::string& dir);

}  // namespace masters
