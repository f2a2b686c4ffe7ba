#pragma once
// The search, printed list and spreadsheet export the code-table screens plug into the
// standard master-file screen (gui::run_master). Each screen describes its key, its columns
// and its texts; these do the rest the same way for all of them.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {
struct Session;
}
namespace data {
class Workspace;
}
namespace gui {
class Ui;
class Clock;
class Shell;
}

namespace ui::shared {

// ---- Search ("Buscar por") -----------------------------------------------------------------

struct KeySearch {
    std::string label;       // names the key: "Codigo", "Cuenta"
    int width = 10;          // characters the prompt takes
    bool zero_fill = false;  // a typed number is written with `width` digits ("7" -> "007")
};

// The key as it is sought: trimmed, cut to the width and zero-filled when asked for.
std::string search_key(std::string_view typed, const KeySearch& key);

// Asks "Buscar por" / label (with the magnifier) and moves `alias`, in its current order, to
// the record with that key or the nearest one after it. Nearest-match positioning is used
// for this seek only: every later seek still ends at end of file when it finds nothing.
// nullopt when the prompt was cancelled (nothing moved), else whether the key was found.
std::optional<bool> search_by_key(data::Workspace& ws, gui::Ui& ui, std::string_view alias, const KeySearch& key);

// ---- Printed list ----------------------------------------------------------------------------

struct ListColumn {
    std::string title;
    std::string field;
    int width = 0;        // 0: the field's width
    std::string picture = {};  // numbers and dates; empty: as the report engine shows them
};

struct TableListing {
    std::string report_name;          // caption of the preview ("Reporte de Centro de Costos")
    std::string title;                // title line (" CENTROS DE COSTO ")
    int heading_gap = 4;              // blanks between the company name and today's date
    std::string footer = "Pagina : ";  // followed by the page number in three positions
    std::vector<ListColumn> columns = {};  // empty: one column per field of the table
    bool grand_total = false;         // the closing "Tot Final.. ( n )" line
};

// Previews the records of `alias` in its current order: heading XEMPRESA + blanks + today's
// date, the title, one column per field, the page footer; report fonts DEFFONTS(NNUMFONT).
// The record that was current is current again afterwards. A list that cannot be laid out
// is reported with an alert and nothing is previewed; returns whether it was previewed.
bool print_table_list(const app::Session& s, data::Workspace& ws, gui::Ui& ui, const gui::Clock& clock,
                      std::string_view alias, const TableListing& listing);

// ---- Spreadsheet export ----------------------------------------------------------------------

struct SheetColumn {
    std::string heading;
    std::string field;
    double width = 12;  // characters
    int align = 1;      // data cells: 1 left, 2 centred, 3 right
};

struct TableSheet {
    std::string default_name;  // offered by PIDEXCEL ("Cto     ")
    std::string title;         // row 1 ("RELACION DE C.COSTO")
    std::vector<SheetColumn> columns = {};
};

// Asks the file name (PIDEXCEL; cancel stops) and writes CHOJEXC + ".XLS" into RutaW: the
// title (row 1, column 2), "Periodo " + year + "-" + month (row 2, column 2), the company
// name and today's date (row 3, columns 1 and 4), the headings bordered and centred
// (row 5), one row per record of `alias` in its current order from row 7, and the totals
// line " T O T A L E S " / count / " Registros". The file is then opened with the
// spreadsheet program. The record that was current is current again afterwards. Returns
// whether the file was written; a write failure is alerted and leaves no file.
bool export_table_xls(app::Session& s, data::Workspace& ws, gui::Ui& ui, gui::Shell& shell, const gui::Clock& clock,
                      std::string_view alias, const TableSheet& sheet);

}  // namespace ui::shared
