#include "cli/xls_tool.hpp"

#include <fmt/format.h>

#include <istream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <stdexcept>

#include "common/dates.hpp"
#include "common/formula.hpp"
#include "xls/xls_writer.hpp"

namespace cli {

const char* const kXlsUsage =
    "planilla-cli xls write OUT.xls < JSON lines\n"
    "  {\"font\":[face,size,bold,italic,underline,strike]}  {\"format\":\"0.00\"}  (before the first cell)\n"
    "  {\"row\":R,\"col\":C,\"value\":V[,\"type\":number|text|date|bool|blank|formula][,\"formula\":F]\n"
    "   [,\"font\":N][,\"format\":N][,\"align\":N][,\"border\":N][,\"hidden\":B][,\"locked\":B][,\"shaded\":B]}\n"
    "  {\"colwidth\":[first,last,width]}  {\"rowheight\":[row,points]}  {\"note\":[row,col,text]}\n"
    "  {\"set\":{\"NAME\":number}}  {\"hbreaks\":[rows]}  {\"vbreaks\":[cols]}  {\"display\":{...}}  {\"printer\":{...}}\n";

namespace {

using nlohmann::json;
namespace fo = common::formula;

// Bad input (exit code 2).
struct InputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

int get_int(const json& j, const char* what) {
    if (!j.is_number_integer()) throw InputError(fmt::format("{}: se esperaba un entero", what));
    return j.get<int>();
}

double get_num(const json& j, const char* what) {
    if (!j.is_number()) throw InputError(fmt::format("{}: se esperaba un número", what));
    return j.get<double>();
}

bool get_bool(const json& j, const char* what) {
    if (!j.is_boolean()) throw InputError(fmt::format("{}: se esperaba true o false", what));
    return j.get<bool>();
}

std::string get_str(const json& j, const char* what) {
    if (!j.is_string()) throw InputError(fmt::format("{}: se esperaba un texto", what));
    return j.get<std::string>();
}

// "YYYYMMDD" or "YYYY-MM-DD"; "" is the empty date.
common::Date parse_date(const std::string& s) {
    std::string d;
    for (char c : s)
        if (c != '-') d.push_back(c);
    if (d.empty()) return common::kEmptyDate;
    common::Date dt = d.size() == 8 ? common::date_from_dtos(d) : common::kEmptyDate;
    if (dt == common::kEmptyDate) throw InputError(fmt::format("fecha no válida: {}", s));
    return dt;
}

xls::CellStyle cell_style(const json& o) {
    xls::CellStyle st;
    if (o.contains("font")) st.font = get_int(o["font"], "font");
    if (o.contains("format")) st.format = get_int(o["format"], "format");
    if (o.contains("align")) st.align = get_int(o["align"], "align");
    if (o.contains("border")) st.border = get_int(o["border"], "border");
    if (o.contains("hidden")) st.hidden = get_bool(o["hidden"], "hidden");
    if (o.contains("locked")) st.locked = get_bool(o["locked"], "locked");
    if (o.contains("shaded")) st.shaded = get_bool(o["shaded"], "shaded");
    return st;
}

std::vector<int> int_list(const json& j, const char* what) {
    if (!j.is_array()) throw InputError(fmt::format("{}: se esperaba una lista", what));
    std::vector<int> v;
    for (const json& x : j) v.push_back(get_int(x, what));
    return v;
}

class Sheet {
public:
    explicit Sheet(std::string path) : path_(std::move(path)) {}

    void line(const json& o) {
        if (!o.is_object()) throw InputError("se esperaba un objeto JSON");
        if (o.contains("row")) return cell(o);
        if (o.contains("font") && o["font"].is_array()) return register_font(o["font"]);
        if (o.contains("format")) {
            if (writer_) throw InputError("\"format\" después de la primera celda");
            styles_.format(get_str(o["format"], "format"));
            return;
        }
        if (o.contains("set")) return set(o["set"]);
        xls::XlsWriter& w = writer();
        if (o.contains("colwidth")) {
            const json& a = o["colwidth"];
            if (!a.is_array() || a.size() != 3) throw InputError("colwidth: se esperaba [first,last,width]");
            w.Col(get_int(a[0], "colwidth"), get_int(a[1], "colwidth"), get_num(a[2], "colwidth"));
        } else if (o.contains("rowheight")) {
            const json& a = o["rowheight"];
            if (!a.is_array() || a.size() != 2) throw InputError("rowheight: se esperaba [row,points]");
            w.Row(get_int(a[0], "rowheight"), get_num(a[1], "rowheight"));
        } else if (o.contains("note")) {
            const json& a = o["note"];
            if (!a.is_array() || a.size() != 3) throw InputError("note: se esperaba [row,col,text]");
            w.Note(get_int(a[0], "note"), get_int(a[1], "note"), get_str(a[2], "note"));
        } else if (o.contains("hbreaks")) {
            std::vector<int> v = int_list(o["hbreaks"], "hbreaks");
            w.AddBreak("HORIZONTAL", v);
        } else if (o.contains("vbreaks")) {
            std::vector<int> v = int_list(o["vbreaks"], "vbreaks");
            w.AddBreak("VERTICAL", v);
        } else if (o.contains("display")) {
            display(o["display"]);
        } else if (o.contains("printer")) {
            printer(o["printer"]);
        } else {
            throw InputError(fmt::format("línea no reconocida: {}", o.dump()));
        }
    }

    void finish() { writer().End(); }

private:
    xls::XlsWriter& writer() {
        if (!writer_) writer_ = std::make_unique<xls::XlsWriter>(path_, styles_);
        return *writer_;
    }

    void register_font(const json& a) {
        if (writer_) throw InputError("\"font\" después de la primera celda");
        if (a.empty() || a.size() > 6) throw InputError("font: se esperaba [face,size,bold,italic,underline,strike]");
        std::string face = get_str(a[0], "font");
        double size = a.size() > 1 ? get_num(a[1], "font") : 10;
        bool flags[4] = {false, false, false, false};
        for (size_t i = 2; i < a.size(); ++i) flags[i - 2] = get_bool(a[i], "font");
        styles_.font(face, size, flags[0], flags[1], flags[2], flags[3]);
    }

    void set(const json& s) {
        if (!s.is_object()) throw InputError("set: se esperaba un objeto");
        for (auto it = s.begin(); it != s.end(); ++it) {
            int slot = names_.add(it.key());
            env_.resize(names_.size());
            if (it.value().is_boolean()) env_.set_logical(slot, it.value().get<bool>());
            else if (it.value().is_string()) env_.set_text(slot, it.value().get<std::string>());
            else env_.set_number(slot, get_num(it.value(), "set"));
        }
    }

    void cell(const json& o) {
        int row = get_int(o["row"], "row");
        if (!o.contains("col")) throw InputError("falta \"col\"");
        int col = get_int(o["col"], "col");
        xls::CellStyle st = cell_style(o);
        const json value = o.contains("value") ? o["value"] : json();
        std::string type;
        if (o.contains("type")) type = get_str(o["type"], "type");
        else if (o.contains("formula")) type = "formula";
        else if (value.is_number()) type = "number";
        else if (value.is_string()) type = "text";
        else if (value.is_boolean()) type = "bool";
        else if (value.is_null()) type = "blank";
        else throw InputError(fmt::format("valor no reconocido: {}", value.dump()));
        xls::XlsWriter& w = writer();
        if (type == "number") {
            w.Number(row, col, get_num(value, "value"), st);
        } else if (type == "text") {
            w.String(row, col, get_str(value, "value"), st);
        } else if (type == "date") {
            w.Date(row, col, parse_date(get_str(value, "value")), st);
        } else if (type == "bool") {
            w.Boolean(row, col, get_bool(value, "value"), st);
        } else if (type == "blank") {
            w.Blank(row, col, st);
        } else if (type == "formula") {
            if (!o.contains("formula")) throw InputError("falta \"formula\"");
            double current = value.is_null() ? 0 : get_num(value, "value");
            w.Formula(row, col, get_str(o["formula"], "formula"), xls::FormulaEnv{names_, env_}, st, current);
        } else {
            throw InputError(fmt::format("tipo no reconocido: {}", type));
        }
    }

    void display(const json& d) {
        if (!d.is_object()) throw InputError("display: se esperaba un objeto");
        xls::DisplayOptions o;
        if (d.contains("top")) o.top = get_int(d["top"], "top");
        if (d.contains("left")) o.left = get_int(d["left"], "left");
        if (d.contains("bottom")) o.bottom = get_int(d["bottom"], "bottom");
        if (d.contains("right")) o.right = get_int(d["right"], "right");
        if (d.contains("hidden")) o.hidden = get_bool(d["hidden"], "hidden");
        if (d.contains("formulas")) o.show_formulas = get_bool(d["formulas"], "formulas");
        if (d.contains("gridlines")) o.show_gridlines = get_bool(d["gridlines"], "gridlines");
        if (d.contains("headings")) o.show_headings = get_bool(d["headings"], "headings");
        if (d.contains("suppress_zeros")) o.suppress_zeros = get_bool(d["suppress_zeros"], "suppress_zeros");
        writer().SetDisplay(o);
    }

    void printer(const json& p) {
        if (!p.is_object()) throw InputError("printer: se esperaba un objeto");
        xls::PrinterOptions o;
        if (p.contains("header")) o.header = get_str(p["header"], "header");
        if (p.contains("footer")) o.footer = get_str(p["footer"], "footer");
        if (p.contains("left")) o.left = get_num(p["left"], "left");
        if (p.contains("right")) o.right = get_num(p["right"], "right");
        if (p.contains("top")) o.top = get_num(p["top"], "top");
        if (p.contains("bottom")) o.bottom = get_num(p["bottom"], "bottom");
        if (p.contains("headings")) o.print_headings = get_bool(p["headings"], "headings");
        if (p.contains("gridlines")) o.print_gridlines = get_bool(p["gridlines"], "gridlines");
        writer().SetPrinter(o);
    }

    std::string path_;
    xls::XlsStyles styles_;
    fo::Names names_;
    fo::Env env_;
    std::unique_ptr<xls::XlsWriter> writer_;
};

}  // namespace

int run_xls(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
    if (args.size() != 2 || args[0] != "write") {
        err << kXlsUsage;
        return 2;
    }
    Sheet sheet(args[1]);
    std::string line;
    size_t n = 0;
    try {
        while (std::getline(in, line)) {
            ++n;
            if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
            json o;
            try {
                o = json::parse(line);
            } catch (const json::exception& e) {
                throw InputError(fmt::format("JSON no válido: {}", e.what()));
            }
            sheet.line(o);
        }
        sheet.finish();
    } catch (const InputError& e) {
        err << fmt::format("línea {}: {}\n", n, e.what());
        return 2;
    } catch (const xls::XlsError& e) {
        std::string op = e.operation();
        for (size_t p; (p = op.find("\r\n")) != std::string::npos;) op.replace(p, 2, " ");
        err << fmt::format("línea {}: {} {}: {}{}\n", n, e.subsystem(), e.number(), e.description(), op);
        return 1;
    }
    out << args[1] << "\n";
    return 0;
}

}  // namespace cli
