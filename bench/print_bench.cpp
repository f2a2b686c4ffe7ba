// Print layer benchmark: a banded listing of about 5,000 pages (the sample listing of
// planilla-cli print-demo over generated rows in 20 cost centres, with group headers,
// subtotals and page totals), built by the report engine, rendered as text grids and
// written to a PDF file. Counters give pages per second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "cli/print_tool.hpp"
#include "gui/print/report.hpp"
#include "gui/print/text_grid.hpp"

#if __has_include(<QtGui/QPdfWriter>)
#include "gui/qt/print_output.hpp"
#define PRINT_BENCH_PDF 1
#endif

namespace {

namespace print = gui::print;

constexpr size_t kTargetPages = 5000;

struct Listing {
    std::vector<cli::DemoRow> rows;
    const cli::DemoRow* current = nullptr;
    print::Report report;

    Listing() : report(cli::demo_report(current)) {
        // One trial run on a sample gives the rows per page; then the full set.
        rows = cli::demo_rows(20000, 20);
        size_t pages = build().page_count();
        rows = cli::demo_rows(20000 * kTargetPages / pages, 20);
    }
    print::Job build() { return report.run(print::rows_of(rows, current)); }
};

Listing& listing() {
    static Listing l;
    return l;
}

const print::Job& job() {
    static print::Job j = listing().build();
    return j;
}

void BM_Print_BandedReport(benchmark::State& state) {
    Listing& l = listing();
    size_t pages = 0;
    for (auto _ : state) {
        print::Job j = l.build();
        pages = j.page_count();
        benchmark::DoNotOptimize(j);
    }
    state.counters["pages"] = static_cast<double>(pages);
    state.counters["pages/s"] = benchmark::Counter(static_cast<double>(pages), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Print_BandedReport)->Unit(benchmark::kMillisecond);

void BM_Print_TextGrid(benchmark::State& state) {
    const print::Job& j = job();
    for (auto _ : state) {
        print::TextGrid g = print::render_text(j);
        if (!g.diagnostics.empty()) state.SkipWithError("diagnostics in the benchmark listing");
        benchmark::DoNotOptimize(g);
    }
    state.counters["pages"] = static_cast<double>(j.page_count());
    state.counters["pages/s"] =
        benchmark::Counter(static_cast<double>(j.page_count()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Print_TextGrid)->Unit(benchmark::kMillisecond);

#ifdef PRINT_BENCH_PDF
void BM_Print_Pdf(benchmark::State& state) {
    const print::Job& j = job();
    const std::string path =
        (std::filesystem::temp_directory_path() / ("planilla-print-bench-" + std::to_string(::getpid()) + ".pdf")).string();
    std::string error;
    uintmax_t bytes = 0;
    for (auto _ : state) {
        if (!gui::qt::write_pdf(j, path, &error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        bytes = std::filesystem::file_size(path);
    }
    std::filesystem::remove(path);
    state.counters["pages"] = static_cast<double>(j.page_count());
    state.counters["pages/s"] =
        benchmark::Counter(static_cast<double>(j.page_count()), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_Print_Pdf)->Unit(benchmark::kMillisecond)->Iterations(3);
#endif

}  // namespace
