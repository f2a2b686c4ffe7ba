#include "data/workspace.hpp"

#include <algorithm>
#include <cctype>

namespace data {

namespace {

bool iequal(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

std::string_view rtrim(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

bool name_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-'; }

}  // namespace

// ---- Settings -------------------------------------------------------------------------------

TableSettings& settings() {
    static TableSettings s;
    return s;
}

void apply_start_settings() { settings() = TableSettings{}; }

bool text_equal(std::string_view a, std::string_view b) {
    if (settings().exact) return full_equal(a, b);
    return a.size() >= b.size() && a.substr(0, b.size()) == b;
}

bool full_equal(std::string_view a, std::string_view b) { return rtrim(a) == rtrim(b); }

TableBusy::TableBusy(std::string path) : xbase::BusyError(std::string(kBusyText)), path_(std::move(path)) {}

// ---- Paths ----------------------------------------------------------------------------------

bool is_plain_file_name(std::string_view name) {
    size_t dot = name.find('.');
    std::string_view stem = name.substr(0, dot);
    if (stem.empty() || stem.size() > 8 || !std::all_of(stem.begin(), stem.end(), name_char)) return false;
    if (dot == std::string_view::npos) return true;
    std::string_view ext = name.substr(dot + 1);
    return !ext.empty() && ext.size() <= 3 &&
           std::all_of(ext.begin(), ext.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

std::string checked_join(std::string_view dir, std::string_view name) {
    if (!is_plain_file_name(name))
        throw std::invalid_argument("'" + std::string(name) + "' is not a valid file name");
    std::string r(dir);
    if (r.empty()) r = ".";
    if (r.back() != '/') r += '/';
    r += name;
    return r;
}

// ---- Work areas -----------------------------------------------------------------------------

struct Workspace::Area {
    std::string alias;
    std::unique_ptr<xbase::Table> table;
    struct Relation {
        std::string child;
        std::shared_ptr<xbase::KeyExpr> key;
    };
    std::vector<Relation> relations;
};

Workspace::Workspace() = default;
Workspace::~Workspace() = default;

Workspace::Area* Workspace::find_area(std::string_view alias) {
    for (auto& a : areas_)
        if (iequal(a->alias, alias)) return a.get();
    return nullptr;
}

const Workspace::Area* Workspace::find_area(std::string_view alias) const {
    for (const auto& a : areas_)
        if (iequal(a->alias, alias)) return a.get();
    return nullptr;
}

Workspace::Area& Workspace::need(std::string_view alias) {
    Area* a = find_area(alias);
    if (!a) throw WorkspaceError("alias " + std::string(alias) + " is not open");
    return *a;
}

xbase::Table& Workspace::open(std::string_view alias, const std::string& dir, std::string_view base, OpenMode mode) {
    if (alias.empty()) throw WorkspaceError("a work area needs an alias");
    if (find_area(alias)) throw WorkspaceError("alias " + std::string(alias) + " is already in use");
    bool exclusive = mode == OpenMode::Exclusive || (mode == OpenMode::Default && settings().exclusive_default);
    std::string path = checked_join(dir, base);
    std::unique_ptr<xbase::Table> t;
    try {
        xbase::OpenOptions o;
        o.exclusive = exclusive;
        t = xbase::Table::open(path, o);
    } catch (const TableBusy&) {
        throw;
    } catch (const xbase::BusyError&) {
        if (exclusive) throw TableBusy(path);
        throw;
    }
    t->set_show_deleted(!settings().deleted_hidden);
    if (t->tag_count() > 0) t->set_order(0);
    t->go_top();
    auto a = std::make_unique<Area>();
    a->alias = std::string(alias);
    a->table = std::move(t);
    areas_.push_back(std::move(a));
    current_ = std::string(alias);
    return *areas_.back()->table;
}

xbase::Table& Workspace::open(const TableDef& def, const std::string& dir, OpenMode mode) {
    std::string alias = def.alias.empty() ? def.base : def.alias;
    return open(alias, dir, def.base, mode);
}

void Workspace::close(std::string_view alias) {
    auto it = std::find_if(areas_.begin(), areas_.end(), [&](const auto& a) { return iequal(a->alias, alias); });
    if (it == areas_.end()) return;
    std::string name = (*it)->alias;
    (*it)->table->close();
    areas_.erase(it);
    for (auto& a : areas_) {
        auto& rel = a->relations;
        rel.erase(std::remove_if(rel.begin(), rel.end(), [&](const Area::Relation& r) { return iequal(r.child, name); }),
                  rel.end());
    }
    if (iequal(current_, name)) current_.clear();
}

void Workspace::close_all() {
    while (!areas_.empty()) close(areas_.back()->alias);
    current_.clear();
}

bool Workspace::is_open(std::string_view alias) const { return find_area(alias) != nullptr; }

xbase::Table& Workspace::area(std::string_view alias) { return *need(alias).table; }

xbase::Table* Workspace::find(std::string_view alias) {
    Area* a = find_area(alias);
    return a ? a->table.get() : nullptr;
}

std::vector<std::string> Workspace::aliases() const {
    std::vector<std::string> r;
    for (const auto& a : areas_) r.push_back(a->alias);
    return r;
}

void Workspace::select(std::string_view alias) { current_ = need(alias).alias; }

bool Workspace::has_current() const { return !current_.empty() && find_area(current_); }

xbase::Table& Workspace::current() {
    if (!has_current()) throw WorkspaceError("no work area is selected");
    return *need(current_).table;
}

const std::string& Workspace::current_alias() const { return current_; }

void Workspace::set_order(std::string_view alias, std::string_view tag) { area(alias).set_order(tag); }

void Workspace::set_order(std::string_view alias, int number) {
    xbase::Table& t = area(alias);
    if (number < 0 || size_t(number) > t.tag_count())
        throw WorkspaceError("table " + t.name() + " has no tag number " + std::to_string(number));
    t.set_order(number - 1);
}

int Workspace::order_number(std::string_view alias) { return area(alias).order() + 1; }

void Workspace::go_top(std::string_view alias) {
    area(alias).go_top();
    sync(alias);
}

void Workspace::go_bottom(std::string_view alias) {
    area(alias).go_bottom();
    sync(alias);
}

void Workspace::skip(std::string_view alias, long n) {
    area(alias).skip(n);
    sync(alias);
}

void Workspace::go_to(std::string_view alias, uint32_t recno) {
    area(alias).go_to(recno);
    sync(alias);
}

bool Workspace::seek(std::string_view alias, std::string_view key, std::optional<bool> soft) {
    bool found = area(alias).seek(key, soft.value_or(settings().soft_seek));
    sync(alias);
    return found;
}

void Workspace::set_relation(std::string_view parent, std::string_view child, std::string_view key_expr) {
    Area& p = need(parent);
    Area& c = need(child);
    if (&p == &c) throw WorkspaceError("a table cannot be related to itself");
    // A relation back to the parent, directly or through other children, would move the
    // areas round in a circle.
    std::vector<const Area*> todo{&c};
    while (!todo.empty()) {
        const Area* a = todo.back();
        todo.pop_back();
        for (const auto& r : a->relations) {
            const Area* next = find_area(r.child);
            if (next == &p) throw WorkspaceError("relating " + p.alias + " to " + c.alias + " would make a cycle");
            if (next) todo.push_back(next);
        }
    }
    auto key = std::make_shared<xbase::KeyExpr>(xbase::KeyExpr::compile(key_expr, p.table->fields(), p.table->codepage()));
    p.relations.push_back({c.alias, std::move(key)});
    sync(parent);
}

void Workspace::clear_relations(std::string_view parent) { need(parent).relations.clear(); }

void Workspace::sync(std::string_view parent) {
    Area& p = need(parent);
    if (p.relations.empty()) return;
    std::vector<uint8_t> buf;
    for (const auto& r : p.relations) {
        Area* c = find_area(r.child);
        if (!c) continue;
        xbase::Table& ct = *c->table;
        if (p.table->eof() || p.table->bof() || ct.order() < 0) {
            // A parent off its records leaves the child off its records too.
            ct.go_to(ct.reccount() + 1);
        } else {
            buf.resize(size_t(r.key->length()));
            r.key->eval(p.table->record_buffer(), buf.data());
            ct.seek_raw(buf.data(), buf.size(), false);
        }
        sync(c->alias);
    }
}

void Workspace::set_filter(std::string_view alias, std::string_view condition) {
    xbase::Table& t = area(alias);
    std::string_view trimmed = condition;
    while (!trimmed.empty() && trimmed.front() == ' ') trimmed.remove_prefix(1);
    if (rtrim(trimmed).empty()) {
        t.set_filter({});
        return;
    }
    auto expr = std::make_shared<xbase::ForExpr>(xbase::ForExpr::compile(condition, t.fields(), t.codepage()));
    t.set_filter([expr](xbase::Table& tb) { return expr->eval(tb.record_buffer()); });
}

void Workspace::set_filter(std::string_view alias, std::function<bool(xbase::Table&)> condition) {
    area(alias).set_filter(std::move(condition));
}

void Workspace::clear_filter(std::string_view alias) { area(alias).set_filter({}); }

Workspace::Saved Workspace::save(std::string_view alias) const {
    const Area* a = find_area(alias);
    if (!a) throw WorkspaceError("alias " + std::string(alias) + " is not open");
    Saved s;
    s.current = current_;
    s.alias = a->alias;
    s.order = a->table->order();
    s.recno = a->table->recno();
    s.eof = a->table->eof();
    return s;
}

void Workspace::restore(const Saved& s) {
    if (Area* a = find_area(s.alias)) {
        xbase::Table& t = *a->table;
        t.set_order(s.order);
        t.go_to(s.eof ? t.reccount() + 1 : s.recno);
        sync(a->alias);
    }
    if (s.current.empty() || find_area(s.current)) current_ = s.current;
}

Workspace::Keep::Keep(Workspace& ws, std::string_view alias) : ws_(ws), saved_(ws.save(alias)) {}

Workspace::Keep::~Keep() {
    try {
        ws_.restore(saved_);
    } catch (...) {
        // A destructor must not throw; a table that cannot be repositioned stays where it is.
    }
}

// ---- The company tables ---------------------------------------------------------------------

void open_company_tables(Workspace& ws, const std::string& dir, std::string_view period) {
    for (const OpenEntry& e : abrefiles_tables(period)) ws.open(e.alias, dir, e.base, OpenMode::Shared);
}

}  // namespace data
