#include "masters/company_init.hpp"

#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <memory>
#include <system_error>

#include "common/text.hpp"
#include "common/dates.hpp"
#include "data/catalogue.hpp"
#include "data/demo.hpp"
#include "data/fill.hpp"
#include "data/workspace.hpp"
#include "masters/periods.hpp"
#include "xbase/table.hpp"

namespace masters {

namespace {

namespace fs = std::filesystem;
using namespace data::fill;

std::string upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

using common::trim;

// Absolute, normalised, without a trailing separator.
fs::path normalise(const std::string& p, const char* what) {
    if (p.empty()) throw InitError(std::string("no ") + what + " was given");
    fs::path a = fs::absolute(fs::path(p)).lexically_normal();
    std::string s = a.string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return fs::path(s);
}

bool has_file_ci(const fs::path& dir, std::string_view name) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        if (upper(e.path().filename().string()) == upper(std::string(name))) return true;
    return false;
}

// Makes a fresh directory `stem`.init-XXXXXX inside `parent`.
fs::path make_temp_dir(const fs::path& parent, const std::string& stem) {
    std::string tmpl = (parent / (stem + ".init-XXXXXX")).string();
    if (!::mkdtemp(tmpl.data())) throw InitError("cannot create a working directory in " + parent.string());
    return fs::path(tmpl);
}

// Removes what was registered, newest first, unless disarmed.
struct Undo {
    std::vector<fs::path> paths;
    bool armed = true;
    ~Undo() {
        if (!armed) return;
        for (auto it = paths.rbegin(); it != paths.rend(); ++it) {
            std::error_code ec;
            fs::remove_all(*it, ec);
        }
    }
};

std::unique_ptr<xbase::Table> open_exclusive(const fs::path& dir, std::string_view base) {
    xbase::OpenOptions o;
    o.exclusive = true;
    return xbase::Table::open(data::checked_join(dir.string(), std::string(base) + ".DBF"), o);
}

void create_tables(const fs::path& dir, data::DirKind kind) {
    for (const data::TableDef& def : data::catalogue()) {
        if (def.dir != kind) continue;
        auto t = xbase::Table::create(data::checked_join(dir.string(), def.base + ".DBF"), def.fields, def.tags);
        t->close();
    }
}

common::Date today() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return common::date_from_ymd(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

// The company record "01" of a new company, its parameter record "01" and the report
// formats the parameter screens and the payslips require.
void write_company_records(const fs::path& dir) {
    {
        auto t = open_exclusive(dir, "EMPRESA");
        t->append_blank();
        text(*t, "EMCODIGO", "01");
        text(*t, "EMDESCRI", "EMPRESA NUEVA");
        text(*t, "EMDESBRE", "EMPRESA");
        text(*t, "EMGIRO", "GIRO DE EMPRESA");
        text(*t, "EMDIRECC", "DIRECCION");
        text(*t, "EMURBANI", "URBANIZAC");
        text(*t, "EMDISTRI", "DISTRITO");
        text(*t, "EMPROVIN", "LIMA");
        text(*t, "EMDEPMTO", "LIMA");
        text(*t, "EMTELEFO", "12345678");
        text(*t, "EMFAX", "12345678");
        text(*t, "EMREGUNI", "20123456789");
        text(*t, "EMCODDOC", "06");
        text(*t, "EMPERPAG", kNewCompanyPeriod);
        date(*t, "EMFECREP", today());
        number(*t, "EMCLAPLA", 1);
        number(*t, "EMPRESTA", 0);
        number(*t, "EMCOPBOL", 1);
        number(*t, "EMDIASNETO", 30);
        number(*t, "EMINGDIA", 1);
        // Averages of variable pay over January to June until a screen says otherwise.
        text(*t, "EMRMVBVA", std::string(18, ' ') + "001");
        t->close();
    }
    {
        auto t = open_exclusive(dir, "TABLAS");
        t->append_blank();
        text(*t, "TBCODIGO", "01");
        text(*t, "TBPARGEN", "0800");  // font 8, no spreadsheet copy, order by surname
        number(*t, "TBBOLXPG", 1);
        // Fifth-category tax: UIT value, deduction of 7 UIT, brackets 15% up to 27 UIT,
        // 21% up to 54 UIT, 30% above; 30% flat for non-domiciled workers.
        number(*t, "TBUIT", 3600);
        number(*t, "TBTOPE01", 7);
        number(*t, "TBPORC2", 15);
        number(*t, "TBTOPE02", 27);
        number(*t, "TBPORC3", 21);
        number(*t, "TBTOPE03", 54);
        number(*t, "TBPORC4", 30);
        number(*t, "TBPRCEXT", 30);
        number(*t, "TBSI_TCA", 1);
        t->close();
    }
    {
        struct Format {
            const char* code;
            int width, margin, first_line, first_detail, last_line;
            const char* title;
        };
        const Format formats[] = {
            {"BOLETAS", 132, 0, 0, 10, 56, ""},
            {"PLAOFI", 260, 0, 0, 10, 56, "PLANILLA OFICIAL"},
            {"PLAOFID", 260, 0, 0, 10, 56, "PLANILLA OFICIAL"},
            {"FICPER", 132, 0, 3, 10, 56, "FICPER"},
        };
        auto t = open_exclusive(dir, "FORMATOS");
        for (const Format& f : formats) {
            t->append_blank();
            text(*t, "FMCODIGO", f.code);
            number(*t, "FMANCHO", f.width);
            number(*t, "FMMARGEN", f.margin);
            number(*t, "FMLININI", f.first_line);
            number(*t, "FMDETINI", f.first_detail);
            number(*t, "FMLINMAX", f.last_line);
            number(*t, "FMPUNTOS", 1);
            flag(*t, "FMCONTIT", true);
            flag(*t, "FMDATE", true);
            flag(*t, "FMTIME", true);
            flag(*t, "FMEJECTO", true);
            text(*t, "FMOBSERV", f.title);
        }
        t->close();
    }
}

struct CompanyFacts {
    std::string name, short_name, period;
};

CompanyFacts read_company(const fs::path& dir) {
    auto t = open_exclusive(dir, "EMPRESA");
    t->set_order("Emp1");
    if (!t->seek("01")) throw InitError("the new company has no record 01");
    CompanyFacts c;
    c.name = trim(t->get_text(t->field_index("EMDESCRI")));
    c.short_name = trim(t->get_text(t->field_index("EMDESBRE")));
    c.period = trim(t->get_text(t->field_index("EMPERPAG")));
    return c;
}

void copy_template(const fs::path& dir, std::string_view from, const std::string& to) {
    for (const char* ext : {".DBF", ".CDX"})
        fs::copy_file(dir / (std::string(from) + ext), dir / (to + ext));
}

void build_data_dir(const fs::path& dir, bool demo, CompanyFacts& facts) {
    create_tables(dir, data::DirKind::Company);
    write_company_records(dir);
    if (demo) data::demo::fill(dir.string());
    facts = read_company(dir);
    {
        auto ppg = open_exclusive(dir, "PERPAG");
        regenerate_periods(*ppg);
    }
    const std::string payroll = data::payroll_table_name(data::kClassRemuneraciones, facts.period);
    if (demo && facts.period == data::demo::kPeriod)
        data::demo::create_payroll(dir.string());
    else
        copy_template(dir, data::payroll_template(data::kClassRemuneraciones), payroll);
}

void build_program_dir(const fs::path& dir, const std::string& data_path, const CompanyFacts& facts) {
    create_tables(dir, data::DirKind::Program);
    auto via = open_exclusive(dir, "VIA");
    via->append_blank();
    text(*via, "VICODIGO", "01");
    text(*via, "VINOMCIA", facts.name.substr(0, 20));
    text(*via, "VIDESCRI", facts.short_name.substr(0, 20));
    text(*via, "VIRUTA", data_path);
    via->close();
}

std::vector<std::string> listing(const fs::path& dir) {
    std::vector<std::string> r;
    for (const auto& e : fs::directory_iterator(dir)) r.push_back(e.path().filename().string());
    std::sort(r.begin(), r.end());
    return r;
}

}  // namespace

InitResult init_company(const InitOptions& opts) {
    const fs::path data_dir = normalise(opts.data_dir, "company directory");
    const fs::path prog_dir = normalise(opts.program_dir, "program directory");

    // Checks, before anything is written.
    std::error_code ec;
    if (data_dir == prog_dir) throw InitError("the program directory and the company directory must differ");
    if (fs::exists(data_dir, ec))
        throw InitError("company directory " + data_dir.string() + " already exists; nothing was changed");
    // The company directory may sit inside a program directory that is made now.
    const bool data_in_new_prog = data_dir.parent_path() == prog_dir && !fs::exists(prog_dir, ec);
    if (!data_in_new_prog && !fs::is_directory(data_dir.parent_path(), ec))
        throw InitError("the parent of company directory " + data_dir.string() + " does not exist");
    bool prog_exists = fs::exists(prog_dir, ec);
    if (prog_exists) {
        if (!fs::is_directory(prog_dir, ec)) throw InitError(prog_dir.string() + " is not a directory");
        for (const data::TableDef& def : data::catalogue())
            if (def.dir == data::DirKind::Program && (has_file_ci(prog_dir, def.base + ".DBF") ||
                                                      has_file_ci(prog_dir, def.base + ".CDX")))
                throw InitError("program directory " + prog_dir.string() + " already holds " + def.base +
                                "; nothing was changed");
    } else if (!fs::is_directory(prog_dir.parent_path(), ec)) {
        throw InitError("the parent of program directory " + prog_dir.string() + " does not exist");
    }
    const std::string data_path = data_dir.string();
    if (const auto* f = data::table("VIA").find_field("VIRUTA"); f && data_path.size() > size_t(f->len))
        throw InitError("the path of company directory " + data_path + " is longer than the path table holds (" +
                        std::to_string(f->len) + " characters)");

    Undo undo;
    InitResult result;
    if (data_in_new_prog) {
        // An empty program directory first, so the company directory has its parent; it is
        // removed again when anything fails.
        if (!fs::create_directory(prog_dir, ec) || ec)
            throw InitError("cannot create program directory " + prog_dir.string() + ": " + ec.message());
        undo.paths.push_back(prog_dir);
        prog_exists = true;
    }
    auto stage = [&](std::string_view name) {
        if (opts.on_stage) opts.on_stage(name);
    };
    try {
        // Build both directories under temporary names.
        const fs::path data_tmp = make_temp_dir(data_dir.parent_path(), data_dir.filename().string());
        undo.paths.push_back(data_tmp);
        CompanyFacts facts;
        build_data_dir(data_tmp, opts.demo, facts);
        stage("data built");

        const fs::path prog_tmp = prog_exists ? make_temp_dir(prog_dir, ".via")
                                              : make_temp_dir(prog_dir.parent_path(), prog_dir.filename().string());
        undo.paths.push_back(prog_tmp);
        build_program_dir(prog_tmp, data_path, facts);
        stage("program built");

        result.data_files = listing(data_tmp);
        result.program_files = listing(prog_tmp);

        // Move into place.
        if (fs::exists(data_dir, ec)) throw InitError("company directory " + data_path + " appeared meanwhile");
        fs::rename(data_tmp, data_dir);
        undo.paths.push_back(data_dir);
        stage("data moved");
        if (!prog_exists) {
            fs::rename(prog_tmp, prog_dir);
            undo.paths.push_back(prog_dir);
        } else {
            for (const std::string& f : result.program_files) {
                if (fs::exists(prog_dir / f, ec)) throw InitError(prog_dir.string() + " already holds " + f);
                fs::rename(prog_tmp / f, prog_dir / f);
                undo.paths.push_back(prog_dir / f);
            }
            fs::remove(prog_tmp, ec);
        }
        result.period = facts.period;
        stage("done");
    } catch (const InitError&) {
        throw;
    } catch (const std::exception& e) {
        throw InitError("cannot create the company directory " + data_path + ": " + e.what());
    }
    undo.armed = false;
    result.program_dir = prog_dir.string();
    result.data_dir = data_path;
    return result;
}

}  // namespace masters
