// Formula benchmarks: evaluation of typical concept formulas against a filled employee
// environment (one core, items/s = evaluations per second), and compilation of a
// 300-concept catalogue.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <string>
#include <vector>

#include "common/formula.hpp"

namespace {

namespace fo = common::formula;

const char* const kShort[] = {
    "ROUND(SUELDO/DIASNETO*DIAS,2)",
    "IF(SWAFP=0,ROUND(TOTREM*0.13,2),0)",
    "MAX(ROUND(TOTREM*0.09,2),APOMINESA)",
};

// About 200 characters of nested IFs over numbers, dates and texts.
const char* const kLong =
    "IF(SWAFP=0,ROUND(TOTREM*0.13,2),IF(XPLCODAFP=\"01\",ROUND(TOTREM*0.1+MIN(TOTREM,9707.03)*0.0174,2),"
    "IF(XPLCODAFP=\"02\",ROUND(TOTREM*0.1+MIN(TOTREM,9707.03)*0.0169,2),IF(CFECREP-XPLFECING>365,1,0))))";

struct Employee {
    fo::Names names = fo::standard_names();
    fo::Env env;
    Employee() {
        for (const char* a : {"SUELDO", "DIAS", "TOTREM"}) names.add(a);
        env.resize(names.size());
        env.set_number(names.find("SUELDO"), 2850.0);
        env.set_number(names.find("DIAS"), 27);
        env.set_number(names.find("TOTREM"), 3412.37);
        env.set_number(fo::SWAFP, 21);
        env.set_number(fo::DIASNETO, 30);
        env.set_number(fo::APOMINESA, 92.25);
        env.set_text(fo::XPLCODAFP, "03 ");
        env.set_date(fo::CFECREP, common::date_from_ymd(2024, 7, 31));
        env.set_date(fo::XPLFECING, common::date_from_ymd(2019, 3, 1));
    }
};

void run_eval(benchmark::State& state, const char* formula) {
    Employee e;
    fo::Program p = fo::compile(formula, e.names);
    for (auto _ : state) {
        for (int i = 0; i < 10000000; ++i) benchmark::DoNotOptimize(p.evaluate(e.env));
    }
    state.SetItemsProcessed(state.iterations() * 10000000);
    state.SetLabel(formula);
}

void BM_Formula_EvalRoundProration(benchmark::State& s) { run_eval(s, kShort[0]); }
void BM_Formula_EvalIfPension(benchmark::State& s) { run_eval(s, kShort[1]); }
void BM_Formula_EvalMaxHealth(benchmark::State& s) { run_eval(s, kShort[2]); }
void BM_Formula_EvalNestedIf200(benchmark::State& s) { run_eval(s, kLong); }

// 300 concepts: data concepts and formulas over the lower-coded aliases, like a company's
// catalogue (proration, percentages, caps, totals and nested IFs).
void BM_Formula_CompileCatalogue300(benchmark::State& state) {
    std::vector<std::string> formulas;
    for (int i = 0; i < 300; ++i) {
        std::string a = fmt::format("C{}", i > 0 ? i - 1 : 0), b = fmt::format("C{}", i / 2);
        switch (i % 5) {
            case 0: formulas.push_back("ROUND(" + a + "/DIASNETO*" + b + ",2)"); break;
            case 1: formulas.push_back("IF(SWAFP=0,ROUND(" + a + "*0.13,2),0)"); break;
            case 2: formulas.push_back("MAX(ROUND(" + a + "*0.09,2),APOMINESA)"); break;
            case 3: formulas.push_back(a + "+" + b + "-ROUND(" + a + "*0.1,2)+C1+C2+C3"); break;
            default: formulas.push_back(kLong); break;
        }
    }
    for (auto _ : state) {
        fo::Names names = fo::standard_names();
        for (int i = 0; i < 300; ++i) names.add(fmt::format("C{}", i));
        std::vector<fo::Program> programs;
        programs.reserve(formulas.size());
        for (const std::string& f : formulas) programs.push_back(fo::compile(f, names));
        benchmark::DoNotOptimize(programs.data());
    }
    state.SetItemsProcessed(state.iterations() * 300);
}

}  // namespace

BENCHMARK(BM_Formula_EvalRoundProration)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Formula_EvalIfPension)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Formula_EvalMaxHealth)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Formula_EvalNestedIf200)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Formula_CompileCatalogue300)->Unit(benchmark::kMillisecond);
