#pragma once
// A small company directory for the maintenance and backup tests: a new company made by
// the company creation (every table, the templates, records "01"), plus helpers to add
// records, make period tables and take a snapshot of every file.
#include <stdlib.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "data/catalogue.hpp"
#include "masters/company_init.hpp"
#include "xbase/table.hpp"

namespace maint_fixture {

namespace fs = std::filesystem;

struct Company {
    fs::path root;
    std::string data;  // the company directory
    std::string prog;

    Company() {
        std::string t = (fs::temp_directory_path() / "planilla-maint-XXXXXX").string();
        if (!::mkdtemp(t.data())) throw std::runtime_error("mkdtemp failed");
        root = t;
        masters::InitOptions o;
        o.program_dir = (root / "prog").string();
        o.data_dir = (root / "data").string();
        masters::init_company(o);
        data = o.data_dir;
        prog = o.program_dir;
    }
    ~Company() {
        std::error_code ec;
        fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(root, ec);
    }
    Company(const Company&) = delete;
    Company& operator=(const Company&) = delete;

    std::string file(const std::string& name) const { return (fs::path(data) / name).string(); }
};

using Values = std::vector<std::pair<std::string, std::string>>;

inline std::unique_ptr<xbase::Table> open_excl(const std::string& path) {
    xbase::OpenOptions o;
    o.exclusive = true;
    return xbase::Table::open(path, o);
}

// Appends one record (field values as text by field type), marked deleted when asked.
inline void add(const Company& c, const std::string& base, const Values& values, bool deleted = false) {
    auto t = open_excl(c.file(base + ".DBF"));
    t->append_blank();
    for (const auto& [f, v] : values) {
        int i = t->field_index(f);
        if (i < 0) throw std::runtime_error(base + " has no field " + f);
        t->put_value_text(i, v);
    }
    if (deleted) t->delete_record();
    t->close();
}

// Values of a field over the records that are not deleted, in physical order, trimmed.
inline std::vector<std::string> values(const Company& c, const std::string& base, const std::string& field) {
    auto t = xbase::Table::open(c.file(base + ".DBF"));
    t->set_order(-1);
    std::vector<std::string> r;
    int f = t->field_index(field);
    for (t->go_top(); !t->eof(); t->skip()) {
        std::string v = t->get_text(f);
        while (!v.empty() && v.back() == ' ') v.pop_back();
        r.push_back(v);
    }
    return r;
}

inline uint32_t reccount(const Company& c, const std::string& base) {
    return xbase::Table::open(c.file(base + ".DBF"))->reccount();
}

// Tag names of a table, upper case, in index order.
inline std::vector<std::string> tag_names(const std::string& path) {
    auto t = xbase::Table::open(path);
    std::vector<std::string> r;
    for (size_t i = 0; i < t->tag_count(); ++i) r.push_back(t->tag(i).name);
    return r;
}

inline std::vector<std::string> upper_names(const std::vector<xbase::TagSpec>& tags) {
    std::vector<std::string> r;
    for (const auto& t : tags) {
        std::string n = t.name;
        for (char& ch : n) ch = char(std::toupper(static_cast<unsigned char>(ch)));
        r.push_back(n);
    }
    return r;
}

// A period payroll table with the fixed columns and the tags of its class.
inline void make_period(const Company& c, const std::string& base) {
    auto name = data::parse_payroll_table_name(base);
    int cls = name ? name->payroll_class : 1;
    xbase::Table::create(c.file(base + ".DBF"), data::payroll_fixed_fields(), data::payroll_tags(cls))->close();
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Every file of a directory with its bytes and modification time.
struct Snapshot {
    std::map<std::string, std::pair<std::string, fs::file_time_type>> files;
    bool operator==(const Snapshot& o) const { return files == o.files; }
};

inline Snapshot snapshot(const std::string& dir) {
    Snapshot s;
    for (const auto& e : fs::directory_iterator(dir))
        s.files[e.path().filename().string()] = {read_file(e.path().string()), fs::last_write_time(e.path())};
    return s;
}

// Names whose bytes or times differ between two snapshots (also added and removed files).
inline std::vector<std::string> changed(const Snapshot& a, const Snapshot& b) {
    std::vector<std::string> r;
    for (const auto& [n, v] : a.files)
        if (!b.files.count(n) || b.files.at(n) != v) r.push_back(n);
    for (const auto& [n, v] : b.files)
        if (!a.files.count(n)) r.push_back(n);
    return r;
}

}  // namespace maint_fixture
