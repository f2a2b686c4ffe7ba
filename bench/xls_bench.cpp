// Spreadsheet writer benchmark: 20,000 data rows x 30 columns (numbers, texts, dates) with
// totals rows of _SUM formulas, written to files. A sheet of this format holds 16,384 rows,
// so the rows go to two files (16,380 + 3,620 data rows, each with its heading and totals
// rows), as an export of that size must do; counters give data rows and cells per second
// and the bytes written.
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "xls/xls_writer.hpp"

namespace {

namespace fo = common::formula;

constexpr int kRows = 20000;
constexpr int kCols = 30;
constexpr int kRowsPerSheet = 16380;  // heading row 2, data from row 3, totals after the data

// One file with `rows` data rows; returns its size.
uint64_t write_sheet(const std::string& path, int rows, int first, const std::vector<std::string>& names,
                     fo::Names& fnames, fo::Env& env) {
    int prifil = fnames.find("PRIFIL"), ultfil = fnames.find("ULTFIL"), contag = fnames.find("CONTAG");
    env.set_number(prifil, 3);
    env.set_number(ultfil, rows + 2);
    const common::Date base = common::date_from_ymd(2024, 1, 1);
    xls::XlsStyles st;
    int bold = st.font("Arial", 10, true);
    int money = st.format("#,##0.00");
    int date = st.format("dd/mm/yyyy");
    xls::XlsWriter w(path, st);
    for (int c = 1; c <= kCols; ++c) w.Col(c, c, 12);
    for (int c = 1; c <= kCols; ++c) w.String(2, c, fmt::format("Columna {}", c), {.font = bold, .border = 120, .align = 2});
    for (int i = 0; i < rows; ++i) {
        int r = first + i, row = i + 3;
        w.String(row, 1, names[static_cast<size_t>(r) % names.size()], {.border = 120, .align = 1});
        w.Date(row, 2, base + r % 366, {.format = date, .border = 120});
        for (int c = 3; c <= kCols; ++c) {
            double x = (c % 3 == 0) ? r * 7 % 4000 : (r * 31 + c) * 0.25;
            w.Number(row, c, x, {.format = money, .border = 120});
        }
    }
    for (int c = 3; c <= kCols; ++c) {
        env.set_number(contag, c);
        w.Formula(rows + 3, c, "_SUM(PriFil,Contag, UltFil, Contag )", {fnames, env}, {.font = bold, .format = money});
    }
    w.SetDisplay({.show_gridlines = false});
    w.SetPrinter({.left = 0.6, .top = 0.6, .bottom = 0.8});
    w.End();
    return w.bytes_written();
}

void BM_Xls_Write20000x30(benchmark::State& state) {
    auto dir = std::filesystem::temp_directory_path();
    std::string path = (dir / fmt::format("xls_bench_{}_a.xls", ::getpid())).string();
    std::string path2 = (dir / fmt::format("xls_bench_{}_b.xls", ::getpid())).string();
    std::vector<std::string> names;
    for (int i = 0; i < 500; ++i) names.push_back(fmt::format("Trabajador Núñez {:05d}", i));
    fo::Names fnames;
    for (const char* n : {"PRIFIL", "ULTFIL", "CONTAG"}) fnames.add(n);
    fo::Env env(fnames);
    uint64_t bytes = 0;
    for (auto _ : state) {
        bytes = write_sheet(path, kRowsPerSheet, 0, names, fnames, env);
        bytes += write_sheet(path2, kRows - kRowsPerSheet, kRowsPerSheet, names, fnames, env);
    }
    std::filesystem::remove(path2);
    std::filesystem::remove(path);
    double cells = static_cast<double>(kRows) * kCols + 2.0 * (kCols + kCols - 2);
    state.counters["rows/s"] = benchmark::Counter(static_cast<double>(kRows), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["cells/s"] = benchmark::Counter(cells, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bytes"] = static_cast<double>(bytes);
}

}  // namespace

BENCHMARK(BM_Xls_Write20000x30)->Unit(benchmark::kMillisecond);
