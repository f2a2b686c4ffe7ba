#include "cli/dbf_tool.hpp"

#include <iostream>
#include <stdexcept>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "common/decimal.hpp"
#include "xbase/table.hpp"

namespace cli {

const char* const kDbfUsage =
    "usage: planilla-cli dbf COMMAND FILE ...\n"
    "  info FILE                       header, fields and tags\n"
    "  dump FILE [--tag NAME] [--deleted] [--format jsonl|csv]\n"
    "  seek FILE --tag NAME [--soft] [--deleted] KEY\n"
    "  check FILE                      compare every tag with the records\n"
    "  create FILE --field NAME:TYPE:LEN[:DEC]... [--tag NAME=EXPR [--for EXPR] [--unique] [--descending]]...\n"
    "  append FILE                     JSON lines on stdin: {\"FIELD\":value,...} (\"_deleted\":true)\n"
    "  replace FILE RECNO              one JSON object on stdin\n"
    "  delete FILE RECNO | recall FILE RECNO\n"
    "  index FILE --tag NAME=EXPR [--for EXPR] [--unique] [--descending]\n"
    "  reindex FILE | pack FILE | zap FILE\n";

namespace {

struct Usage : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Args {
    std::string cmd, file;
    std::vector<std::string> positional;
    std::string tag, format = "jsonl";
    bool deleted = false, soft = false;
    std::vector<xbase::FieldSpec> fields;
    std::vector<xbase::TagSpec> tags;
};

int to_int(const std::string& s, const char* what) {
    try {
        size_t pos = 0;
        long v = std::stol(s, &pos);
        if (pos != s.size() || v < 0 || v > 0x7FFFFFFF) throw std::invalid_argument(s);
        return int(v);
    } catch (const std::exception&) {
        throw Usage(fmt::format("{} must be a whole number, not '{}'", what, s));
    }
}

Args parse(const std::vector<std::string>& a) {
    Args r;
    if (a.empty()) throw Usage("missing command");
    r.cmd = a[0];
    size_t i = 1;
    auto value = [&](const std::string& opt) -> std::string {
        if (i + 1 >= a.size()) throw Usage(fmt::format("{} needs a value", opt));
        return a[++i];
    };
    bool options_done = false;
    for (; i < a.size(); ++i) {
        const std::string& s = a[i];
        if (options_done || s.size() < 2 || s[0] != '-' || s[1] != '-') {
            if (r.file.empty()) r.file = s; else r.positional.push_back(s);
            continue;
        }
        if (s == "--") { options_done = true; continue; }
        if (s == "--deleted") r.deleted = true;
        else if (s == "--soft") r.soft = true;
        else if (s == "--format") {
            r.format = value(s);
            if (r.format != "jsonl" && r.format != "csv") throw Usage("--format is jsonl or csv");
        } else if (s == "--field") {
            std::string v = value(s);
            std::vector<std::string> parts;
            size_t p = 0;
            for (size_t q; (q = v.find(':', p)) != std::string::npos; p = q + 1) parts.push_back(v.substr(p, q - p));
            parts.push_back(v.substr(p));
            if (parts.size() < 3 || parts.size() > 4 || parts[1].size() != 1)
                throw Usage(fmt::format("--field wants NAME:TYPE:LEN[:DEC], not '{}'", v));
            r.fields.push_back({parts[0], parts[1][0], to_int(parts[2], "field length"),
                                parts.size() == 4 ? to_int(parts[3], "decimals") : 0});
        } else if (s == "--tag") {
            std::string v = value(s);
            auto eq = v.find('=');
            if (r.cmd == "create" || r.cmd == "index") {
                if (eq == std::string::npos || eq == 0 || eq + 1 == v.size())
                    throw Usage(fmt::format("--tag wants NAME=EXPR, not '{}'", v));
                r.tags.push_back({v.substr(0, eq), v.substr(eq + 1), "", false, false});
            } else {
                r.tag = v;
            }
        } else if (s == "--for" || s == "--unique" || s == "--descending") {
            if (r.tags.empty()) throw Usage(fmt::format("{} must follow a --tag NAME=EXPR", s));
            if (s == "--for") r.tags.back().for_expr = value(s);
            else if (s == "--unique") r.tags.back().unique = true;
            else r.tags.back().descending = true;
        } else {
            throw Usage(fmt::format("unknown option {}", s));
        }
    }
    if (r.file.empty()) throw Usage("missing FILE");
    return r;
}

std::string json_string(const std::string& s) { return nlohmann::json(s).dump(); }

std::string value_json(xbase::Table& t, int i) {
    const xbase::Field& f = t.fields()[size_t(i)];
    switch (f.type) {
        case 'N': case 'F': case 'I': case 'B': case 'Y': {
            double v = t.get_number(i);
            int dec = f.type == 'Y' ? 4 : (f.type == 'I' ? 0 : f.dec);
            if (f.type == 'B') return fmt::format("{}", v);
            return common::format_fixed(v, dec);
        }
        case 'L': return t.get_logical(i) ? "true" : "false";
        default: return json_string(t.get_text(i));
    }
}

std::string csv_cell(const std::string& s) {
    if (s.find_first_of(",\"\n\r") == std::string::npos) return s;
    std::string r = "\"";
    for (char c : s) {
        if (c == '"') r += '"';
        r += c;
    }
    return r + "\"";
}

void set_values(xbase::Table& t, const nlohmann::json& obj) {
    if (!obj.is_object()) throw Usage("each input line must be a JSON object");
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        if (it.key() == "_deleted") {
            if (it.value().is_boolean() && it.value().get<bool>()) t.delete_record();
            else if (it.value().is_boolean()) t.recall();
            continue;
        }
        int fi = t.field_index(it.key());
        if (fi < 0) throw xbase::ValueError(fmt::format("table {} has no field {}", t.path(), it.key()));
        const auto& v = it.value();
        if (v.is_null()) continue;
        if (v.is_string()) t.put_value_text(fi, v.get<std::string>());
        else if (v.is_boolean()) t.put_logical(fi, v.get<bool>());
        else if (v.is_number()) t.put_number(fi, v.get<double>());
        else throw xbase::ValueError(fmt::format("field {}: unsupported JSON value {}", it.key(), v.dump()));
    }
}

uint32_t recno_arg(const Args& a, xbase::Table& t) {
    if (a.positional.size() != 1) throw Usage(fmt::format("{} needs FILE RECNO", a.cmd));
    int r = to_int(a.positional[0], "RECNO");
    if (r < 1 || uint32_t(r) > t.reccount()) throw Usage(fmt::format("record {} does not exist (the table has {})", r, t.reccount()));
    return uint32_t(r);
}

void lock_or_fail(xbase::Table& t, uint32_t r) {
    if (!t.lock_record(r, 5000)) throw xbase::LockError(fmt::format("record {} of {} is locked by another process", r, t.path()));
}

int run(const Args& a, std::istream& in, std::ostream& out) {
    using namespace xbase;
    const std::string& c = a.cmd;
    if (c == "create") {
        if (a.fields.empty()) throw Usage("create needs at least one --field");
        Table::create(a.file, a.fields, a.tags);
        return 0;
    }
    bool exclusive = c == "index" || c == "reindex" || c == "pack" || c == "zap";
    bool read_only = c == "info" || c == "dump" || c == "seek" || c == "check";
    if (!exclusive && !read_only && c != "append" && c != "replace" && c != "delete" && c != "recall")
        throw Usage(fmt::format("unknown command '{}'", c));
    auto t = Table::open(a.file, OpenOptions{exclusive, read_only});
    if (c == "info") {
        out << "file: " << t->path() << "\n";
        out << fmt::format("version: 0x{:02X}\nflags: 0x{:02X}\ncodepage: 0x{:02X}\n", t->version_byte(), t->flags_byte(), t->codepage_byte());
        out << "header_length: " << t->header_length() << "\nrecord_length: " << t->record_length() << "\n";
        out << "records: " << t->reccount() << "\n";
        out << "index: " << (t->cdx_path().empty() ? "-" : t->cdx_path()) << "\n";
        out << "memo: " << (t->memo_path().empty() ? "-" : t->memo_path()) << "\n";
        out << "fields: " << t->fields().size() << "\n";
        for (auto& f : t->fields()) out << fmt::format("  {} {} {} {}\n", f.name, f.type, f.len, int(f.dec));
        out << "tags: " << t->tag_count() << "\n";
        for (size_t i = 0; i < t->tag_count(); ++i) {
            const TagInfo& g = t->tag(i);
            out << fmt::format("  {} key={} for={} unique={} descending={} type={} len={}{}\n", g.name, g.key, g.for_expr,
                               g.unique, g.descending, g.compiled ? char(g.keytype) : '?', g.keylen,
                               g.compiled ? "" : " (cannot be compiled: " + g.compile_error + ")");
        }
        return 0;
    }
    if (c == "dump") {
        if (!a.tag.empty()) t->set_order(a.tag);
        t->set_show_deleted(a.deleted);
        const auto& fs = t->fields();
        if (a.format == "csv") {
            out << "recno,deleted";
            for (auto& f : fs) out << "," << f.name;
            out << "\n";
        }
        for (t->go_top(); !t->eof(); t->skip(1)) {
            if (a.format == "csv") {
                out << t->recno() << "," << (t->deleted() ? "true" : "false");
                for (size_t i = 0; i < fs.size(); ++i) {
                    std::string v = value_json(*t, int(i));
                    if (!v.empty() && v[0] == '"') v = t->get_text(int(i));
                    out << "," << csv_cell(v);
                }
                out << "\n";
            } else {
                out << "{\"recno\":" << t->recno() << ",\"deleted\":" << (t->deleted() ? "true" : "false") << ",\"values\":{";
                for (size_t i = 0; i < fs.size(); ++i)
                    out << (i ? "," : "") << json_string(fs[i].name) << ":" << value_json(*t, int(i));
                out << "}}\n";
            }
        }
        return 0;
    }
    if (c == "seek") {
        if (a.tag.empty()) throw Usage("seek needs --tag NAME");
        if (a.positional.size() > 1) throw Usage("seek takes one KEY");
        std::string key = a.positional.empty() ? std::string() : a.positional[0];
        t->set_order(a.tag);
        t->set_show_deleted(a.deleted);
        bool found = t->seek(key, a.soft);
        out << fmt::format("found={} eof={} recno={}\n", found, t->eof(), t->eof() ? 0u : t->recno());
        return 0;
    }
    if (c == "check") {
        auto problems = t->check_indexes();
        if (problems.empty()) {
            out << "ok\n";
            return 0;
        }
        for (auto& p : problems) out << p << "\n";
        return 1;
    }
    if (c == "append") {
        std::string line;
        while (std::getline(in, line)) {
            if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
            nlohmann::json obj;
            try {
                obj = nlohmann::json::parse(line);
            } catch (const nlohmann::json::exception& e) {
                throw Usage(fmt::format("bad JSON line: {}", e.what()));
            }
            t->append_blank();
            set_values(*t, obj);
            t->unlock_record();
        }
        t->commit();
        return 0;
    }
    if (c == "replace" || c == "delete" || c == "recall") {
        uint32_t r = recno_arg(a, *t);
        nlohmann::json obj;
        if (c == "replace") {
            try {
                obj = nlohmann::json::parse(in);
            } catch (const nlohmann::json::exception& e) {
                throw Usage(fmt::format("bad JSON object: {}", e.what()));
            }
        }
        t->set_show_deleted(true);
        t->go_to(r);
        lock_or_fail(*t, r);
        if (c == "replace") set_values(*t, obj);
        else if (c == "delete") t->delete_record();
        else t->recall();
        t->unlock_record(r);
        t->commit();
        return 0;
    }
    if (c == "index") {
        if (a.tags.empty()) throw Usage("index needs --tag NAME=EXPR");
        for (auto& g : a.tags) t->create_tag(g);
        t->commit();
        return 0;
    }
    if (c == "reindex") t->reindex();
    else if (c == "pack") t->pack();
    else if (c == "zap") t->zap();
    t->commit();
    return 0;
}

}  // namespace

int run_dbf(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
    try {
        Args a = parse(args);
        int rc = run(a, in, out);
        out.flush();
        return rc;
    } catch (const Usage& e) {
        err << "planilla-cli dbf: " << e.what() << "\n" << kDbfUsage;
        return 2;
    } catch (const xbase::BusyError& e) {
        err << "planilla-cli dbf: " << e.what() << "\n";
        return 3;
    } catch (const xbase::DamagedError& e) {
        err << "planilla-cli dbf: " << e.what() << "\n";
        return 4;
    } catch (const std::exception& e) {
        err << "planilla-cli dbf: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace cli
