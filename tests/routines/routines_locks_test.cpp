// Lock and append with retry against another workstation's handle on the same table, and
// what screens and batch passes do with a refusal.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "common/routines/locks.hpp"
#include "gui/headless.hpp"
#include "tests/routines/company_fixture.hpp"

using namespace common::routines;
using Clock = std::chrono::steady_clock;

namespace {

class Locks : public ::testing::Test {
protected:
    fixture::Company co;
    xbase::Table* per = nullptr;
    std::unique_ptr<xbase::Table> other;

    void SetUp() override {
        per = &co.table("PERSONAL", fixture::staff);
        other = co.other("PERSONAL");
    }
    double seconds_of(const std::function<void()>& fn) {
        auto t0 = Clock::now();
        fn();
        return std::chrono::duration<double>(Clock::now() - t0).count();
    }
};

}  // namespace

TEST_F(Locks, RecordHeldElsewhereIsRefusedAtOnceAndTakenWhenReleased) {
    per->go_top();
    other->go_to(per->recno());
    ASSERT_TRUE(other->lock_record());
    bool got = true;
    EXPECT_LT(seconds_of([&] { got = DBRLOCK1(*per); }), 0.4);  // no wait: one try
    EXPECT_FALSE(got);

    // A wait is bounded: two more tries half a second apart, then false.
    double waited = seconds_of([&] { got = DBRLOCK1(*per, 1); });
    EXPECT_FALSE(got);
    EXPECT_GE(waited, 0.9);
    EXPECT_LT(waited, 3.0);

    // Released while we wait: one of the retries gets it.
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        other->unlock_record();
    });
    got = DBRLOCK1(*per, 2);
    release.join();
    EXPECT_TRUE(got);
    EXPECT_FALSE(other->lock_record());  // now we hold it

    per->go_to(per->reccount() + 1);
    EXPECT_FALSE(DBRLOCK1(*per));  // no record at end of file
}

TEST_F(Locks, AppendIsRefusedWhileTheFileIsLockedElsewhere) {
    const uint32_t before = per->reccount();
    ASSERT_TRUE(other->lock_file());
    bool got = true;
    EXPECT_LT(seconds_of([&] { got = DBAPPEND1(*per); }), 0.4);
    EXPECT_FALSE(got);
    EXPECT_EQ(per->reccount(), before);

    other->unlock_all();
    ASSERT_TRUE(DBAPPEND1(*per));
    EXPECT_EQ(per->recno(), before + 1);
    EXPECT_FALSE(other->lock_record(before + 1));  // the new record is ours, locked
    per->unlock_record();
    EXPECT_TRUE(other->lock_record(before + 1));
}

TEST_F(Locks, ScreensSayWhyNothingWasSavedAndBatchesCountTheirSkips) {
    per->go_top();
    other->go_to(per->recno());
    ASSERT_TRUE(other->lock_record());
    gui::ScriptedUi ui;
    EXPECT_FALSE(lock_for_screen(ui, *per));
    EXPECT_EQ(ui.transcript(), "Alert[Revisar] Registro en uso por otro usuario, no se grabó\n");

    SkipCounter skips;
    for (per->go_top(); !per->eof(); per->skip())
        if (skips.lock(*per)) per->unlock_record();
    EXPECT_EQ(skips.skipped(), 1);
    ui.clear_events();
    skips.report(ui, "Cálculo de Planilla");
    EXPECT_EQ(ui.transcript(),
              "Alert[Cálculo de Planilla] Registros no grabados por estar en uso por otro usuario : 1\n");

    ui.clear_events();
    SkipCounter().report(ui, "Cálculo de Planilla");  // nothing skipped, nothing said
    EXPECT_TRUE(ui.events().empty());
}
