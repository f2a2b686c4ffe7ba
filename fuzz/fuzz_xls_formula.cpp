// Fuzz target for the spreadsheet formula encoder: any text either encodes to tokens or
// raises the writer's error; never a crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/formula.hpp"
#include "xls/xls_writer.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace fo = common::formula;
    static fo::Names names = [] {
        fo::Names n;
        n.add("SUELDO");
        n.add("DIAS");
        return n;
    }();
    static fo::Env env = [] {
        fo::Env e(names);
        e.set_number(names.find("SUELDO"), 1500.0);
        e.set_number(names.find("DIAS"), 30.0);
        return e;
    }();
    std::string_view text(reinterpret_cast<const char*>(data), size);
    xls::FormulaEnv fenv{names, env};
    try {
        xls::encode_formula(text, fenv);
    } catch (const xls::XlsError&) {
    }
    try {
        xls::encode_function(text, fenv);
    } catch (const xls::XlsError&) {
    }
    return 0;
}
