#include "app/maintenance.hpp"

#include <stdlib.h>

#include <cctype>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include <fmt/format.h>

#include "data/catalogue.hpp"
#include "xbase/error.hpp"
#include "xbase/keyexpr.hpp"
#include "xbase/table.hpp"

namespace app {

namespace {

namespace fs = std::filesystem;

std::string upper(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = char(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

std::string join_names(const std::vector<std::string>& v) {
    std::string r;
    for (const auto& s : v) r += (r.empty() ? "" : ", ") + s;
    return r;
}

// ---- Files of the company directory, whatever the case of their names --------------------

// Full path of `name` in `dir`, compared case-insensitively; empty when there is none.
std::string find_file(const fs::path& dir, std::string_view name) {
    const std::string want = upper(name);
    std::error_code ec;
    for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
        if (upper(it->path().filename().string()) == want) return it->path().string();
    return {};
}

// Removes `name` in every case it is spelt in. Throws when a file cannot be removed.
void remove_file(const fs::path& dir, std::string_view name) {
    for (std::string p = find_file(dir, name); !p.empty(); p = find_file(dir, name)) fs::remove(p);
}

void remove_table_files(const fs::path& dir, const std::string& base) {
    for (const char* ext : {".DBF", ".CDX", ".FPT"}) remove_file(dir, base + ext);
}

// Copies a template's table file, and its memo file when it has one, to `base`. The
// template's index is not copied: the new table's tags are created afterwards.
void copy_template(const fs::path& dir, const std::string& tmpl_dbf, const std::string& base) {
    fs::copy_file(tmpl_dbf, dir / (base + ".DBF"), fs::copy_options::overwrite_existing);
    const std::string stem = fs::path(tmpl_dbf).stem().string();
    if (std::string fpt = find_file(dir, stem + ".FPT"); !fpt.empty())
        fs::copy_file(fpt, dir / (base + ".FPT"), fs::copy_options::overwrite_existing);
}

std::unique_ptr<xbase::Table> open_exclusive(const std::string& path) {
    xbase::OpenOptions o;
    o.exclusive = true;
    return xbase::Table::open(path, o);
}

// A private directory holding links to a table's .DBF and .FPT files but not to its index,
// so that a table whose index file cannot be read can still be opened and checked.
class IndexlessView {
public:
    explicit IndexlessView(const std::string& dbf) {
        std::string tmpl = (fs::temp_directory_path() / "planilla-mant-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) throw std::runtime_error("cannot create a temporary directory in " +
                                                             fs::temp_directory_path().string());
        dir_ = tmpl;
        const fs::path src = fs::absolute(dbf);
        fs::create_symlink(src, dir_ / src.filename());
        if (std::string fpt = find_file(src.parent_path(), src.stem().string() + ".FPT"); !fpt.empty())
            fs::create_symlink(fs::absolute(fpt), dir_ / fs::path(fpt).filename());
        path_ = (dir_ / src.filename()).string();
    }
    ~IndexlessView() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    IndexlessView(const IndexlessView&) = delete;
    IndexlessView& operator=(const IndexlessView&) = delete;
    const std::string& path() const { return path_; }

private:
    fs::path dir_;
    std::string path_;
};

// ---- The list of the run -----------------------------------------------------------------

enum class Removal { None, OtherThan01, BlankKey };
enum class Make {
    None,       // an ordinary table
    TmpPer,     // deleted and copied again from its template, then emptied
    IfMissing,  // copied from its template when it does not exist
    Recreate,   // deleted and copied again from its template, always empty
};

struct Entry {
    const char* base;
    Removal removal = Removal::None;
    const char* field = "";  // the key field of the removal condition
    bool pack = true;
    Make make = Make::None;
    const char* tmpl = "";
};

const Entry kRun[] = {
    {"EMPRESA", Removal::OtherThan01, "EMCODIGO"},
    {"MOVSER"},
    {"PERSONAL", Removal::BlankKey, "PECODEMP"},
    {"TMPPER", Removal::None, "", false, Make::TmpPer, "PERSONAL"},
    {"REMRET"},
    {"CTOCTO", Removal::BlankKey, "CTCODIGO"},
    {"AFP", Removal::BlankKey, "AFCODIGO"},
    {"PERPAG"},
    {"BANCOS"},
    {"PRESTAMO", Removal::BlankKey, "PRCODEMP"},
    {"PRESDETA", Removal::BlankKey, "PDCODEMP"},
    {"CONCEPTO", Removal::BlankKey, "CPCODIGO"},
    {"TABLAS", Removal::OtherThan01, "TBCODIGO"},
    {"USUARIOS", Removal::BlankKey, "CODIGO"},
    {"FORMATOS", Removal::BlankKey, "FMCODIGO"},
    {"PLANCTA", Removal::BlankKey, "CUENTA"},
    {"PLANPER"},
    {"PLANVAC", Removal::None, "", true, Make::IfMissing, "PLANPER"},
    {"PLANGRA", Removal::None, "", true, Make::IfMissing, "PLANPER"},
    {"PLANTOT", Removal::None, "", true, Make::Recreate, "PLANPER"},
    {"ASICON"},
    {"ASICONC", Removal::None, "", true, Make::IfMissing, "ASICON"},
    {"PERCTS"},
    {"CTS"},
    {"TARTPS2", Removal::BlankKey, "TRCODIGO"},
    {"TACONCE", Removal::BlankKey, "TRCODIGO"},
    {"PERSER", Removal::BlankKey, "PECODEMP"},
    {"SUBSI"},
    {"NDIALAB"},
    {"RTAAAAMM", Removal::None, "", false},
};

// Tags as the run creates them: the catalogue's names and keys, no condition, not unique.
std::vector<xbase::TagSpec> plain_tags(const std::vector<xbase::TagSpec>& tags) {
    std::vector<xbase::TagSpec> r;
    for (const auto& t : tags) r.emplace_back(t.name, t.key);
    return r;
}

// One table the run works on.
struct Work {
    const Entry* entry = nullptr;  // nullptr for a period payroll table
    int payroll_class = 0;         // period payroll tables
    std::string base;
    std::string path;       // the table file, when it exists
    std::string tmpl_path;  // the template's table file, when the table is made from it
    std::vector<xbase::TagSpec> tags;
    bool index_damaged = false;
};

// ---- The check before the run -----------------------------------------------------------

struct Refusal {
    std::string text, title, problem;
};

// What one exclusive open told about a table.
struct Probe {
    std::vector<xbase::Field> fields;
    xbase::CodePage cp = xbase::CodePage::Win1252;
    bool index_damaged = false;
};

Refusal busy(const std::string& path) {
    const std::string name = fs::path(path).filename().string();
    return {std::string(data::kBusyText) + "\n" + name, std::string(data::kBusyTitle), name + ": busy"};
}

Refusal unusable(const std::string& path, const std::string& why) {
    const std::string name = fs::path(path).filename().string();
    return {"No se puede hacer la Mantención de datos: " + name + "\n" + why, kMantTitle, name + ": " + why};
}

// Opens the table exclusively and closes it again. A table whose index file cannot be read
// is opened once more without it: the index is about to be rebuilt, the table must be sound.
std::optional<Refusal> probe(const std::string& path, Probe& p) {
    try {
        auto t = open_exclusive(path);
        p.fields = t->fields();
        p.cp = t->codepage();
        t->close();
        return std::nullopt;
    } catch (const xbase::BusyError&) {
        return busy(path);
    } catch (const xbase::DamagedError&) {
        // Either the table or its index; see below.
    } catch (const std::exception& e) {
        return unusable(path, e.what());
    }
    try {
        IndexlessView view(path);
        auto t = open_exclusive(view.path());
        p.fields = t->fields();
        p.cp = t->codepage();
        p.index_damaged = true;
        t->close();
        return std::nullopt;
    } catch (const xbase::BusyError&) {
        return busy(path);
    } catch (const std::exception& e) {
        return unusable(path, e.what());
    }
}

// A table that is about to be deleted only needs to be free.
std::optional<Refusal> probe_free(const std::string& path) {
    if (path.empty()) return std::nullopt;
    try {
        auto t = open_exclusive(path);
        t->close();
    } catch (const xbase::BusyError&) {
        return busy(path);
    } catch (const std::exception&) {
        // Damaged or unreadable: it is replaced anyway.
    }
    return std::nullopt;
}

// The keys of the tags, and the field of the removal condition, must fit the table's fields.
std::optional<Refusal> check_keys(const std::string& path, const Probe& p, const std::vector<xbase::TagSpec>& tags,
                                  const Entry* e) {
    for (const auto& t : tags) {
        try {
            xbase::KeyExpr::compile(t.key, p.fields, p.cp);
        } catch (const xbase::Error& err) {
            return unusable(path, "tag " + t.name + ": " + err.what());
        }
    }
    if (e && e->removal != Removal::None) {
        int f = xbase::find_field(p.fields, e->field);
        if (f < 0 || p.fields[size_t(f)].type != 'C')
            return unusable(path, std::string("the table has no text field ") + e->field);
    }
    return std::nullopt;
}

struct Plan {
    std::vector<Work> works;
    std::optional<Refusal> refusal;
};

Plan plan_run(const fs::path& dir, MaintenanceResult& r) {
    Plan plan;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        plan.refusal = Refusal{"No existe el directorio de la empresa " + dir.string(), kMantTitle,
                               dir.string() + ": no such directory"};
        return plan;
    }
    std::map<std::string, Probe> probed;  // by base name, for the templates
    auto fail = [&](std::optional<Refusal> ref) {
        if (ref) plan.refusal = std::move(ref);
        return bool(plan.refusal);
    };

    for (const Entry& e : kRun) {
        Work w;
        w.entry = &e;
        w.base = e.base;
        w.path = find_file(dir, w.base + ".DBF");
        w.tags = plain_tags(data::tags_of(w.base));
        if (e.make != Make::None) {
            const auto tp = probed.find(e.tmpl);
            const bool need_template = e.make != Make::IfMissing || w.path.empty();
            if (need_template) {
                if (tp == probed.end()) {
                    // Without its template the work table stays exactly as it is.
                    r.left_alone.push_back(w.base + " (" + e.tmpl + ")");
                    continue;
                }
                w.tmpl_path = find_file(dir, std::string(e.tmpl) + ".DBF");
                if (e.make != Make::IfMissing) {
                    if (fail(probe_free(w.path))) return plan;
                }
                if (fail(check_keys(w.path.empty() ? w.tmpl_path : w.path, tp->second, w.tags, nullptr)))
                    return plan;
                plan.works.push_back(std::move(w));
                continue;
            }
        }
        if (w.path.empty()) {
            r.missing.push_back(w.base + ".DBF");
            continue;
        }
        Probe p;
        if (fail(probe(w.path, p))) return plan;
        if (fail(check_keys(w.path, p, w.tags, &e))) return plan;
        w.index_damaged = p.index_damaged;
        probed[w.base] = std::move(p);
        plan.works.push_back(std::move(w));
    }

    for (int year = data::kFirstPeriodYear; year <= data::kLastPeriodYear; ++year)
        for (int month = 1; month <= 12; ++month)
            for (int cls = data::kClassRemuneraciones; cls <= data::kClassGratificacion; ++cls) {
                Work w;
                w.payroll_class = cls;
                w.base = data::payroll_table_name(cls, fmt::format("{:04d}{:02d}", year, month));
                w.path = find_file(dir, w.base + ".DBF");
                if (w.path.empty()) continue;
                w.tags = plain_tags(data::payroll_tags(cls));
                Probe p;
                if (fail(probe(w.path, p))) return plan;
                if (fail(check_keys(w.path, p, w.tags, nullptr))) return plan;
                w.index_damaged = p.index_damaged;
                plan.works.push_back(std::move(w));
            }
    return plan;
}

// ---- The run ------------------------------------------------------------------------------

bool blank(std::string_view raw) { return raw.find_first_not_of(std::string_view(" \0", 2)) == std::string_view::npos; }

std::string rtrim_raw(std::string raw) {
    while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\0')) raw.pop_back();
    return raw;
}

void remove_records(xbase::Table& t, const Entry& e) {
    const int f = t.field_index(e.field);
    t.set_show_deleted(true);
    t.set_order(-1);
    for (t.go_top(); !t.eof(); t.skip()) {
        if (t.deleted()) continue;
        const std::string raw = t.get_raw(f);
        const bool drop = e.removal == Removal::BlankKey ? blank(raw) : rtrim_raw(raw) != "01";
        if (drop) t.delete_record();
    }
    t.flush();
}

void create_tags(xbase::Table& t, const std::vector<xbase::TagSpec>& tags) {
    for (const auto& tag : tags) t.create_tag(tag);
}

// One table of the list.
void rebuild_table(const fs::path& dir, Work& w) {
    const Entry& e = *w.entry;
    bool empty_it = false;
    switch (e.make) {
        case Make::TmpPer:
        case Make::Recreate:
            remove_table_files(dir, w.base);
            copy_template(dir, w.tmpl_path, w.base);
            empty_it = true;
            break;
        case Make::IfMissing:
            if (w.path.empty()) copy_template(dir, w.tmpl_path, w.base);
            break;
        case Make::None:
            break;
    }
    w.path = find_file(dir, w.base + ".DBF");
    remove_file(dir, w.base + ".CDX");
    auto t = open_exclusive(w.path);
    if (empty_it) {
        t->zap();
    } else {
        if (e.removal != Removal::None) remove_records(*t, e);
        if (e.pack) t->pack();
    }
    create_tags(*t, w.tags);
    t->close();
}

// One period payroll table: the tags of its class replace those of the same name, any other
// tag of its index file is kept after them. The table is not compacted.
void rebuild_period(const fs::path& dir, Work& w, MaintenanceResult& r) {
    std::vector<xbase::TagSpec> extra;
    if (!w.index_damaged) {
        auto t = open_exclusive(w.path);
        for (size_t i = 0; i < t->tag_count(); ++i) {
            const xbase::TagInfo& info = t->tag(i);
            bool replaced = false;
            for (const auto& tag : w.tags) replaced = replaced || upper(tag.name) == upper(info.name);
            if (replaced) continue;
            if (!info.compiled) {
                r.dropped_tags.push_back(w.base + "." + info.name);
                continue;
            }
            extra.emplace_back(info.name, info.key, info.for_expr, info.unique, info.descending);
        }
        t->close();
    }
    remove_file(dir, w.base + ".CDX");
    auto t = open_exclusive(w.path);
    create_tags(*t, w.tags);
    for (const auto& tag : extra) {
        try {
            t->create_tag(tag);
        } catch (const xbase::Error&) {
            r.dropped_tags.push_back(w.base + "." + tag.name);
        }
    }
    t->close();
}

std::string end_text(const MaintenanceResult& r) {
    std::string text = kMantEnd;
    if (!r.missing.empty()) text += "\nArchivos que no existen: " + join_names(r.missing);
    if (!r.left_alone.empty()) text += "\nSin plantilla, quedan como estaban: " + join_names(r.left_alone);
    if (!r.damaged_indexes.empty()) text += "\nÍndices dañados reconstruidos: " + join_names(r.damaged_indexes);
    if (!r.dropped_tags.empty()) text += "\nÍndices no conservados: " + join_names(r.dropped_tags);
    return text;
}

}  // namespace

MaintenanceResult U_MANT(Session& s, data::Workspace& ws, gui::Ui& ui) {
    MaintenanceResult r;
    if (!ui.ask(kMantQuestion, kMantTitle)) return r;

    ws.close_all();
    const fs::path dir(s.RutaS);
    ui.alert(kMantStart, "");

    Plan plan = plan_run(dir, r);
    if (plan.refusal) {
        r.outcome = MaintenanceResult::Outcome::Refused;
        r.problem = plan.refusal->problem;
        ui.alert(plan.refusal->text, plan.refusal->title);
        return r;
    }

    gui::Progress progress(ui, kMantTitle, "Generando Indices", int64_t(plan.works.size()));
    for (Work& w : plan.works) {
        try {
            if (w.index_damaged) r.damaged_indexes.push_back(w.base + ".CDX");
            if (w.entry) {
                rebuild_table(dir, w);
                r.indexed.push_back(w.base);
            } else {
                rebuild_period(dir, w, r);
                r.periods.push_back(w.base);
            }
        } catch (const xbase::BusyError&) {
            progress.end();
            Refusal b = busy(w.base + ".DBF");
            r.outcome = MaintenanceResult::Outcome::Failed;
            r.problem = b.problem;
            ui.alert(b.text, b.title);
            return r;
        } catch (const std::exception& e) {
            progress.end();
            r.outcome = MaintenanceResult::Outcome::Failed;
            r.problem = w.base + ": " + e.what();
            ui.alert("La Mantención de datos se interrumpió en " + w.base + ".DBF\n" + e.what(), kMantTitle);
            return r;
        }
        progress.step();
    }
    progress.end();
    r.outcome = MaintenanceResult::Outcome::Done;
    ui.alert(end_text(r), "");
    return r;
}

}  // namespace app
