#include "ui/shared/master_tools.hpp"

#include <fmt/format.h>

#include "app/session.hpp"
#include "common/dates.hpp"
#include "common/decimal.hpp"
#include "common/picture.hpp"
#include "common/routines/text.hpp"
#include "data/workspace.hpp"
#include "gui/print/report.hpp"
#include "gui/ui.hpp"
#include "ui/shared/prompts.hpp"
#include "xbase/table.hpp"
#include "xls/xls_writer.hpp"

namespace ui::shared {

namespace cr = common::routines;

// ---- Search --------------------------------------------------------------------------------

std::string search_key(std::string_view typed, const KeySearch& key) {
    std::string k = cr::rtrim(cr::left(cr::trim(typed), static_cast<size_t>(key.width)));
    if (key.zero_fill && cr::all_digits(k)) k = cr::pad_left(k, static_cast<size_t>(key.width), '0');
    return k;
}

std::optional<bool> search_by_key(data::Workspace& ws, gui::Ui& ui, std::string_view alias, const KeySearch& key) {
    gui::PromptSpec p;
    p.title = "Buscar por";
    p.label = key.label;
    p.picture = "@!";
    p.width = key.width;
    p.image = "buscar";
    auto typed = ui.prompt(p);
    if (!typed) return std::nullopt;
    return ws.seek(alias, search_key(*typed, key), true);
}

// ---- Printed list ------------------------------------------------------------------------------

namespace {

bool numeric_type(char type) { return type == 'N' || type == 'F' || type == 'I' || type == 'B' || type == 'Y'; }

// The value of a field of the current record as a report cell.
gui::print::Cell cell_of(const xbase::Table& t, int field) {
    const xbase::Field& f = t.fields().at(static_cast<size_t>(field));
    if (numeric_type(f.type)) return t.get_number(field);
    switch (f.type) {
        case 'D': return gui::print::Cell::date(t.get_date(field));
        case 'L': return std::string(t.get_logical(field) ? "S" : "N");
        default: return cr::rtrim(t.get_text(field));
    }
}

int field_of(const xbase::Table& t, std::string_view name) {
    int i = t.field_index(name);
    if (i < 0) t.field(name);  // throws, naming the field and the table
    return i;
}

std::vector<ListColumn> all_fields(const xbase::Table& t) {
    std::vector<ListColumn> out;
    for (const auto& f : t.fields()) out.push_back({f.name, f.name, 0, {}});
    return out;
}

}  // namespace

bool print_table_list(const app::Session& s, data::Workspace& ws, gui::Ui& ui, const gui::Clock& clock,
                      std::string_view alias, const TableListing& listing) {
    data::Workspace::Keep keep(ws, alias);
    xbase::Table& t = ws.area(alias);
    namespace gp = gui::print;
    gp::Report r(listing.report_name);
    r.set_fonts(gp::DEFFONTS(s.NNUMFONT));
    r.add_header(cr::rtrim(s.XEMPRESA) + std::string(static_cast<size_t>(std::max(listing.heading_gap, 0)), ' ') +
                 common::dtoc(clock.today()));
    r.add_title(listing.title);
    r.clear_footers();
    r.add_footer([prefix = listing.footer](int page) { return prefix + fmt::format("{:>3}", page); });
    r.set_grand_total(listing.grand_total);
    for (const ListColumn& c : listing.columns.empty() ? all_fields(t) : listing.columns) {
        const int fi = field_of(t, c.field);
        const xbase::Field& f = t.fields().at(static_cast<size_t>(fi));
        gp::Column col;
        col.titles = {c.title};
        col.value = [&t, fi] { return cell_of(t, fi); };
        col.width = c.width > 0 ? c.width : (f.type == 'D' ? 10 : static_cast<int>(f.len));
        col.picture = c.picture;
        r.add_column(std::move(col));
    }
    try {
        gp::Job job = r.run(gp::rows_of(t));
        ui.preview(job);
    } catch (const gp::ReportError& e) {
        ui.alert(e.what(), "Revisar");
        return false;
    }
    return true;
}

// ---- Spreadsheet export ----------------------------------------------------------------------

bool export_table_xls(app::Session& s, data::Workspace& ws, gui::Ui& ui, gui::Shell& shell, const gui::Clock& clock,
                      std::string_view alias, const TableSheet& sheet) {
    if (!PIDEXCEL(s, ui, sheet.default_name)) return false;
    const std::string path = spreadsheet_path(s);
    data::Workspace::Keep keep(ws, alias);
    xbase::Table& t = ws.area(alias);
    std::vector<int> fields;
    for (const SheetColumn& c : sheet.columns) fields.push_back(field_of(t, c.field));

    xls::XlsStyles styles;
    const int title_font = styles.font("Arial", 12, true);
    const int data_font = styles.font("Times New Roman", 8, true);
    const int total_font = styles.font("Arial", 10, true);
    const int date_format = styles.format("DD/MM/YYYY");
    const int count_format = styles.format("0");
    try {
        xls::XlsWriter w(path, styles);
        xls::CellStyle title{.font = title_font};
        w.String(1, 2, sheet.title, title);
        const std::string period =
            s.XPERPAG.size() >= 6 ? s.XPERPAG.substr(0, 4) + "-" + s.XPERPAG.substr(4, 2) : s.XPERPAG;
        w.String(2, 2, "Periodo " + period, title);
        w.String(3, 1, cr::trim(s.XEMPRESA), title);
        w.Date(3, 4, clock.today(), xls::CellStyle{.font = title_font, .format = date_format});
        const xls::CellStyle heading{.font = title_font, .border = 120, .align = 2};
        for (size_t i = 0; i < sheet.columns.size(); ++i) {
            const int col = static_cast<int>(i) + 1;
            w.Col(col, col, sheet.columns[i].width);
            w.String(5, col, sheet.columns[i].heading, heading);
        }
        int row = 7;
        int count = 0;
        for (t.go_top(); !t.eof(); t.skip(), ++row, ++count) {
            for (size_t i = 0; i < fields.size(); ++i) {
                const int col = static_cast<int>(i) + 1;
                const xls::CellStyle st{.font = data_font, .align = sheet.columns[i].align};
                const int fi = fields[i];
                const char type = t.fields().at(static_cast<size_t>(fi)).type;
                if (numeric_type(type))
                    w.Number(row, col, t.get_number(fi), st);
                else if (type == 'D')
                    w.Date(row, col, t.get_date(fi), xls::CellStyle{.font = data_font, .format = date_format});
                else if (type == 'L')
                    w.Boolean(row, col, t.get_logical(fi), st);
                else
                    w.String(row, col, cr::trim(t.get_text(fi)), st);
            }
        }
        const xls::CellStyle total{.font = total_font};
        w.String(row + 1, 1, " T O T A L E S ", total);
        w.Number(row + 1, 3, count, xls::CellStyle{.font = total_font, .format = count_format});
        w.String(row + 1, 4, " Registros", total);
        w.End();
    } catch (const xls::XlsError& e) {
        ui.alert(e.what(), "Revisar");
        return false;
    }
    shell.open_with("EXCEL.EXE", path);
    return true;
}

}  // namespace ui::shared
