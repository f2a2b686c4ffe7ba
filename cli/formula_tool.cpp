#include "cli/formula_tool.hpp"

#include <fmt/format.h>

#include <charconv>
#include <ostream>
#include <string_view>

#include "common/formula.hpp"

namespace cli {

namespace fo = common::formula;

const char* const kFormulaUsage =
    "planilla-cli formula check TEXT\n"
    "planilla-cli formula eval TEXT [--set NAME=VALUE ...] [--today YYYYMMDD]\n"
    "  VALUE: a number, d:YYYYMMDD (d: alone: empty date), t:text, .T. or .F., a:N,N,... (array)\n";

namespace {

bool parse_number(std::string_view s, double& x) {
    if (s.empty()) return false;
    if (s.front() == '+') s.remove_prefix(1);
    auto r = std::from_chars(s.data(), s.data() + s.size(), x);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// YYYYMMDD as a date; "" is the empty date.
bool parse_date(std::string_view s, common::Date& d) {
    if (s.empty()) {
        d = common::kEmptyDate;
        return true;
    }
    if (s.size() != 8) return false;
    int v[3] = {0, 0, 0};
    const int widths[3] = {4, 2, 2};
    size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        auto r = std::from_chars(s.data() + at, s.data() + at + widths[i], v[i]);
        if (r.ec != std::errc() || r.ptr != s.data() + at + widths[i]) return false;
        at += static_cast<size_t>(widths[i]);
    }
    d = common::date_from_ymd(v[0], v[1], v[2]);
    return d != common::kEmptyDate;
}

struct Setting {
    std::string name;
    std::string value;
};

bool upper_equals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != b[i]) return false;
    }
    return true;
}

// Stores one --set value in the environment; false when the value is malformed.
bool apply(fo::Env& env, int slot, std::string_view v) {
    double x = 0;
    if (upper_equals(v, ".T.") || upper_equals(v, ".F.")) {
        env.set_logical(slot, upper_equals(v, ".T."));
    } else if (v.starts_with("t:")) {
        env.set_text(slot, v.substr(2));
    } else if (v.starts_with("d:")) {
        common::Date d = 0;
        if (!parse_date(v.substr(2), d)) return false;
        env.set_date(slot, d);
    } else if (v.starts_with("a:")) {
        std::vector<double> items;
        std::string_view rest = v.substr(2);
        while (!rest.empty()) {
            size_t comma = rest.find(',');
            if (!parse_number(rest.substr(0, comma), x)) return false;
            items.push_back(x);
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
        env.set_array(slot, items);
    } else if (parse_number(v, x)) {
        env.set_number(slot, x);
    } else {
        return false;
    }
    return true;
}

}  // namespace

int run_formula(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty() || (args[0] != "check" && args[0] != "eval") || args.size() < 2) {
        err << kFormulaUsage;
        return 2;
    }
    const std::string& text = args[1];
    if (args[0] == "check") {
        if (args.size() != 2) {
            err << kFormulaUsage;
            return 2;
        }
        std::string e = fo::check_syntax(text);
        if (!e.empty()) {
            err << e << "\n";
            return 1;
        }
        out << "ok\n";
        return 0;
    }

    std::vector<Setting> settings;
    common::Date today = common::kEmptyDate;
    for (size_t i = 2; i < args.size(); ++i) {
        if ((args[i] == "--set" || args[i] == "--today") && i + 1 < args.size()) {
            const std::string& v = args[++i];
            if (args[i - 1] == "--today") {
                if (!parse_date(v, today) || today == common::kEmptyDate) {
                    err << "--today: se esperaba AAAAMMDD: " << v << "\n";
                    return 2;
                }
                continue;
            }
            size_t eq = v.find('=');
            if (eq == 0 || eq == std::string::npos) {
                err << "--set: se esperaba NOMBRE=VALOR: " << v << "\n";
                return 2;
            }
            settings.push_back({v.substr(0, eq), v.substr(eq + 1)});
        } else {
            err << kFormulaUsage;
            return 2;
        }
    }

    fo::Names names = fo::standard_names();
    for (const Setting& s : settings) names.add(s.name);
    fo::Env env(names);
    if (today != common::kEmptyDate) env.today = [today] { return today; };
    for (const Setting& s : settings) {
        if (!apply(env, names.find(s.name), s.value)) {
            err << "--set: valor no válido para " << s.name << ": " << s.value << "\n";
            return 2;
        }
    }
    try {
        fo::Program p = fo::compile(text, names);
        double x = p.evaluate(env);
        out << fmt::format("{}", x) << "\n";
        return 0;
    } catch (const fo::SyntaxError& e) {
        err << e.what() << "\n";
    } catch (const fo::EvalError& e) {
        err << e.what() << "\n";
    }
    return 1;
}

}  // namespace cli
