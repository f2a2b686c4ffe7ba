#pragma once
// XlsWriter: a one-sheet spreadsheet file in the BIFF2 worksheet format, written record by
// record as the caller makes its calls, plus the encoder that turns the small infix formula
// language of the exports into BIFF2 parsed-expression tokens.
//
// Rows and columns are 1-based in every call. Text is UTF-8 in memory and written in
// Windows-1252 (the file has no code-page record; readers assume ANSI).
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/dates.hpp"
#include "common/formula.hpp"

namespace xls {

namespace fo = common::formula;

// Error numbers (the error object's sub-code).
enum ErrorNo : int {
    kUndefinedFunction = 1,  // a "_" function that is not in the token table
    kSyntax = 2,             // a formula that is not part of the formula language
    kUnsupportedType = 3,    // Say with a value the format has no cell for
    kFileError = 4,          // the file could not be created, written or renamed
    kOutsideSheet = 5,       // a row, column or reference beyond the sheet
    kAttributeRange = 6,     // a format index, border, alignment or window value that does not fit
    kFormulaTooLong = 7,     // more than 255 bytes of tokens
};

// An error of the writer: description, severity, subsystem "XlsWriter", sub-code (the
// number) and operation (the detail text). Severities below 3 may be defaulted by a caller.
class XlsError : public std::runtime_error {
public:
    XlsError(int number, std::string detail);
    int number() const { return number_; }
    const std::string& description() const { return description_; }
    int severity() const { return severity_; }
    const std::string& subsystem() const { return subsystem_; }
    const std::string& operation() const { return operation_; }
    bool can_default() const { return severity_ < 3; }

private:
    int number_;
    int severity_;
    std::string description_;
    std::string subsystem_;
    std::string operation_;
};

struct FontEntry {
    int height = 200;  // twentieths of a point
    bool bold = false, italic = false, underline = false, strikeout = false;
    std::string face = "Arial";
    bool operator==(const FontEntry&) const = default;
};

// The font and number-format registries of one export. Every export builds its own (or
// clears one), so the fonts of one file never reach the next; both lists are written when a
// writer is created, so register before constructing it.
class XlsStyles {
public:
    // The 1-based index of an identical font, appended when new. Only fonts 1..3 reach the
    // file; cells naming a higher font use font 3.
    int font(std::string_view face = "Arial", double size = 10, bool bold = false, bool italic = false,
             bool underline = false, bool strikeout = false);
    // The 1-based index of an identical format string, appended when new. Format 0 is "General".
    int format(std::string_view format = "0");
    void clear_fonts() { fonts_.clear(); }
    void clear_formats() { formats_.clear(); }
    const std::vector<FontEntry>& fonts() const { return fonts_; }
    const std::vector<std::string>& formats() const { return formats_; }

private:
    std::vector<FontEntry> fonts_;
    std::vector<std::string> formats_;
};

// Cell attributes: the three attribute bytes of every cell record.
struct CellStyle {
    bool hidden = false;
    bool locked = false;
    int extra = 0;    // OR-ed into the first byte (0..63)
    int font = 0;     // 0 = built-in default, 1..3 registered fonts, higher = font 3
    int format = 0;   // 0 = "General", 1..63 registered formats
    bool shaded = false;
    int border = 0;   // 0x08 left, 0x10 right, 0x20 top, 0x40 bottom (120 = all four)
    int align = 0;    // 0 general, 1 left, 2 centred, 3 right (up to 7)
};

// Where formula operands find their program values: the names a formula may use and the
// environment holding their values for this evaluation.
struct FormulaEnv {
    const fo::Names& names;
    const fo::Env& env;
};

// The tokens of a formula text (reverse Polish, BIFF2 token bytes). Throws XlsError 1 or 2
// (5 for a reference outside the sheet).
std::string encode_formula(std::string_view text, const FormulaEnv& env);
// The tokens of one spreadsheet-function call "_NAME(arg;arg...)".
std::string encode_function(std::string_view call, const FormulaEnv& env);

struct WriterOptions {
    bool auto_calc = true;
    int iterations = 0;       // 0: no iteration (count written as 1)
    bool protect = false;
    bool open_when_done = false;
};

struct DisplayOptions {
    int top = 0, left = 0, bottom = 200, right = 300;
    bool hidden = false;
    bool show_formulas = false;
    bool show_gridlines = true;
    bool show_headings = true;
    bool suppress_zeros = false;
};

struct PrinterOptions {
    std::string header = {};
    std::string footer = {};
    double left = 0, right = 0, top = 0, bottom = 0;  // inches
    bool print_headings = false;
    bool print_gridlines = false;
};

class XlsWriter {
public:
    // Writes to `out` (which the caller keeps open); the header records are written at once.
    XlsWriter(std::ostream& out, const XlsStyles& styles, WriterOptions opts = {});
    // Writes to a temporary name next to `path` (a new temporary name + ".xls" when empty),
    // renamed to `path` by End. Throws XlsError 4 when the file cannot be created.
    XlsWriter(const std::string& path, const XlsStyles& styles, WriterOptions opts = {});
    XlsWriter(const XlsWriter&) = delete;
    XlsWriter& operator=(const XlsWriter&) = delete;
    // Without End, a file writer removes its temporary file.
    ~XlsWriter();

    // By the value's type: number, text, date, logical, undefined (blank); any other type
    // (an array) is error 3. A callback is evaluated first.
    void Say(int row, int col, const fo::Value& value, const CellStyle& st = {});
    void Say(int row, int col, const std::function<fo::Value()>& value, const CellStyle& st = {});

    void Number(int row, int col, double value, const CellStyle& st = {});
    // Texts longer than 255 bytes in Windows-1252 are cut to 255 bytes.
    void String(int row, int col, std::string_view utf8, const CellStyle& st = {});
    // The 1900-system serial; an empty date writes BLANK.
    void Date(int row, int col, common::Date date, const CellStyle& st = {});
    void Boolean(int row, int col, bool value, const CellStyle& st = {});
    void Error(int row, int col, int code, const CellStyle& st = {});
    void Blank(int row, int col, const CellStyle& st = {});
    // FORMULA with the tokens of `text`; `current` is the value shown by readers that do
    // not recalculate.
    void Formula(int row, int col, std::string_view text, const FormulaEnv& env, const CellStyle& st = {},
                 double current = 0, bool recalc = true);
    // NOTE (cut to 2048 bytes).
    void Note(int row, int col, std::string_view utf8);

    void Row(int row, double height_points = 12.75);
    // last = 0 means the first column only.
    void Col(int first, int last = 0, double width_chars = 10.71, bool hidden = false);
    void SetDisplay(const DisplayOptions& d = {});
    void SetPrinter(const PrinterOptions& p = {});
    // "HORIZONTAL" (rows) or "VERTICAL" (columns); any other kind does nothing.
    void AddBreak(std::string_view kind, std::span<const int> positions);

    // Closing records; the file is flushed, closed and renamed. Returns whether the caller
    // asked for the file to be opened when done. Throws XlsError 4 on a write failure.
    bool End();

    const std::string& name() const { return name_; }
    uint64_t bytes_written() const { return bytes_; }

private:
    void header(const XlsStyles& styles, const WriterOptions& opts);
    void record(uint16_t id, const uint8_t* data, size_t len);
    void record(uint16_t id, const std::string& data) {
        record(id, reinterpret_cast<const uint8_t*>(data.data()), data.size());
    }
    void cell_header(uint8_t* p, int row, int col, const CellStyle& st) const;
    [[noreturn]] void fail_io(const std::string& what);

    std::ostream* out_ = nullptr;
    std::unique_ptr<std::ofstream> file_;
    std::string name_;      // final file name ("" for a stream)
    std::string temp_name_;
    bool ended_ = false;
    bool protect_ = false;
    bool open_when_done_ = false;
    std::vector<int> hbreaks_, vbreaks_;
    uint64_t bytes_ = 0;
};

}  // namespace xls
