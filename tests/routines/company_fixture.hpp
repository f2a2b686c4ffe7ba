#pragma once
// A small company directory made by a test: the tables it names, created from the
// catalogue and filled in code, opened shared under their aliases in a workspace.
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "app/session.hpp"
#include "data/catalogue.hpp"
#include "data/fill.hpp"
#include "data/workspace.hpp"
#include "xbase/table.hpp"

namespace fixture {

namespace fs = std::filesystem;
using namespace data::fill;

struct Company {
    fs::path path;
    std::string dir;
    data::Workspace ws;
    app::Session session;

    Company() {
        data::apply_start_settings();
        std::string t = (fs::temp_directory_path() / "planilla_routines.XXXXXX").string();
        if (!::mkdtemp(t.data())) throw std::runtime_error("mkdtemp failed");
        path = t;
        dir = t;
        session.RutaS = dir;
        session.RutaP = dir;
        session.RutaW = dir;
    }
    ~Company() {
        ws.close_all();
        fs::remove_all(path);
    }
    Company(const Company&) = delete;
    Company& operator=(const Company&) = delete;

    // Creates catalogue table `base` with the records `fill_records` appends, then opens it
    // shared under `alias` (its own alias when empty).
    xbase::Table& table(std::string_view base, const std::function<void(xbase::Table&)>& fill_records = {},
                        std::string_view alias = {}) {
        const data::TableDef& def = data::table(base);
        if (!fs::exists(path / (def.base + ".DBF"))) {
            auto t = xbase::Table::create(dir + "/" + def.base + ".DBF", def.fields, def.tags);
            if (fill_records) fill_records(*t);
            t->close();
        }
        return ws.open(alias.empty() ? std::string_view(def.alias) : alias, dir, def.base, data::OpenMode::Shared);
    }

    // A second, independent handle on a table of the directory (another workstation).
    std::unique_ptr<xbase::Table> other(std::string_view base) const {
        return xbase::Table::open(dir + "/" + std::string(base) + ".DBF");
    }
};

// One employee record appended to an open PERSONAL.
inline void employee(xbase::Table& t, std::string_view code, std::string_view surname1, std::string_view surname2,
                     std::string_view name1, std::string_view name2 = {}, int state = 1) {
    t.append_blank();
    text(t, "PECODEMP", code);
    text(t, "PEAPELLI", surname1);
    text(t, "PEAPELL2", surname2);
    text(t, "PENOMBRE", name1);
    text(t, "PENOMBR2", name2);
    number(t, "PEACTIVI", state);
}

// The usual staff: six employees, one of them ceased.
inline void staff(xbase::Table& t) {
    employee(t, "0003", "GARCIA", "LOPEZ", "ANA", "MARIA");
    employee(t, "0012", "QUISPE", "MAMANI", "JUAN");
    employee(t, "0120", "PEREZ", "GARCES", "LUIS");
    employee(t, "0007", "MENDOZA", "GARCIA", "ROSA", "", 7);
    employee(t, "0015", "DELGARCO", "RIOS", "PEDRO");
    employee(t, "0009", "TORRES", "VEGA", "CARLOS");
}

}  // namespace fixture
