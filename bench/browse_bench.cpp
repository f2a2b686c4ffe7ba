// Browse over a 100,000-record table in a tag order with a filter: the first screen (rows
// known so far plus 40 formatted rows), a scroll through every row one screen at a time,
// and the jump to a record found by a seek (Browse::sync).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <fmt/format.h>

#include "gui/browse.hpp"
#include "xbase/table.hpp"

namespace {

namespace fs = std::filesystem;
constexpr int kRows = 100000;
constexpr int kScreen = 40;

struct BrowseTable {
    std::string dir;
    BrowseTable() {
        char tmpl[] = "/tmp/browse_bench.XXXXXX";
        dir = mkdtemp(tmpl);
        auto t = xbase::Table::create(dir + "/PERSONAL.dbf",
                                      {{"PECODEMP", 'C', 4, 0}, {"PEAPELLI", 'C', 20, 0}, {"PENOMBRE", 'C', 20, 0},
                                       {"PEACTIVI", 'N', 1, 0}, {"PESUELDO", 'N', 12, 2}});
        for (int i = 0; i < kRows; ++i) {
            t->append_blank();
            t->put_text(0, fmt::format("{:04}", i % 10000));
            t->put_text(1, fmt::format("APELLIDO{:06}", (i * 7919) % kRows));
            t->put_text(2, "NOMBRE");
            t->put_number(3, i % 10 == 0 ? 7 : 1);
            t->put_number(4, 1000 + i * 0.37);
            t->unlock_record();
        }
        t->create_tag({"PER2", "PEAPELLI"});
        t->commit();
    }
    ~BrowseTable() { fs::remove_all(dir); }
};

BrowseTable& table() {
    static BrowseTable t;
    return t;
}

std::shared_ptr<gui::Browse> make_browse(xbase::Table& t) {
    t.set_order("PER2");
    t.set_filter([](xbase::Table& tb) { return tb.get_number(3) < 7; });
    t.go_top();
    return std::make_shared<gui::Browse>(
        std::make_shared<gui::TableSource>(t),
        std::vector<gui::BrowseColumn>{gui::field_column(t, "PECODEMP", "Codigo"), gui::field_column(t, "PEAPELLI", "Apellido"),
                                       gui::field_column(t, "PESUELDO", "Sueldo", "999,999.99")});
}

void BM_BrowseFirstScreen(benchmark::State& state) {
    auto t = xbase::Table::open(table().dir + "/PERSONAL.dbf");
    for (auto _ : state) {
        auto b = make_browse(*t);
        for (int r = 0; r < kScreen; ++r)
            for (size_t c = 0; c < 3; ++c) benchmark::DoNotOptimize(b->cell(static_cast<size_t>(r), c));
    }
}
BENCHMARK(BM_BrowseFirstScreen)->Unit(benchmark::kMillisecond);

void BM_BrowseScrollAll(benchmark::State& state) {
    auto t = xbase::Table::open(table().dir + "/PERSONAL.dbf");
    size_t rows = 0;
    for (auto _ : state) {
        auto b = make_browse(*t);
        // What the view does: fetch as the scroll bar reaches the end, format what shows.
        for (size_t top = 0;; top += kScreen) {
            while (top + kScreen > b->loaded() && !b->complete()) b->fetch(1000);
            if (top >= b->loaded()) break;
            for (size_t r = top; r < std::min(top + kScreen, b->loaded()); ++r)
                for (size_t c = 0; c < 3; ++c) benchmark::DoNotOptimize(b->cell(r, c));
        }
        rows = b->loaded();
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(rows) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BrowseScrollAll)->Unit(benchmark::kMillisecond);

void BM_BrowseSyncAfterSeek(benchmark::State& state) {
    auto t = xbase::Table::open(table().dir + "/PERSONAL.dbf");
    auto b = make_browse(*t);
    b->rows();
    int i = 0;
    for (auto _ : state) {
        t->seek(fmt::format("APELLIDO{:06}", (i++ * 104729) % kRows), true);
        b->sync();
        benchmark::DoNotOptimize(b->selected());
    }
}
BENCHMARK(BM_BrowseSyncAfterSeek)->Unit(benchmark::kMillisecond);

}  // namespace
