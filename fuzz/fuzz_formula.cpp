// Compiles arbitrary text as a payroll formula against the standard names plus a few
// concept aliases, evaluates what compiles in a filled environment and in an empty one, and
// runs the token check. SyntaxError and EvalError are expected; anything else (a crash, a
// sanitizer report, another exception) is a bug.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/formula.hpp"

namespace {

namespace fo = common::formula;

struct World {
    fo::Names names = fo::standard_names();
    fo::Env filled, empty;
    std::vector<std::string> aliases = {"SUELDO", "DIAS", "TOTREM", "REMU", "FLAG"};

    World() {
        for (const std::string& a : aliases) names.add(a);
        filled.resize(names.size());
        empty.resize(names.size());
        filled.set_number(names.find("SUELDO"), 3000);
        filled.set_number(names.find("DIAS"), 0);
        filled.set_number(names.find("TOTREM"), -1e300);
        const double remu[] = {1, 2, 3};
        filled.set_array(names.find("REMU"), remu);
        filled.set_logical(names.find("FLAG"), true);
        filled.set_number(fo::SWAFP, 21);
        filled.set_number(fo::DIASNETO, 30);
        filled.set_text(fo::XPLCODAFP, "01 ");
        filled.set_text(fo::XPLCODEMP, "");
        filled.set_date(fo::CFECREP, common::date_from_ymd(2024, 2, 29));
        filled.set_date(fo::XPLFECING, common::kEmptyDate);
        filled.set_date(fo::XPLFECNAC, common::date_from_ymd(9999, 12, 31));
        filled.today = [] { return common::date_from_ymd(1, 1, 1); };
        empty.today = [] { return common::kEmptyDate; };
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const World w;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)fo::token_check(text, w.aliases);
    try {
        fo::Program p = fo::compile(text, w.names);
        for (const fo::Env* env : {&w.filled, &w.empty}) {
            try {
                (void)p.evaluate(*env);
            } catch (const fo::EvalError&) {
            }
        }
    } catch (const fo::SyntaxError&) {
    }
    return 0;
}
