#include "xls/xls_writer.hpp"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "xbase/codepage.hpp"

namespace xls {

namespace {

constexpr int kMaxRows = 16384;
constexpr int kMaxCols = 256;

struct ErrorInfo {
    const char* description;
    int severity;
};

ErrorInfo error_info(int number) {
    switch (number) {
        case kUndefinedFunction: return {"Non defined XLS function", 3};
        case kSyntax: return {"Formula syntactic error", 3};
        case kUnsupportedType: return {"Data type XLS no support", 1};
        case kFileError: return {"XLS file not written", 3};
        case kOutsideSheet: return {"Cell outside the XLS sheet", 3};
        case kAttributeRange: return {"XLS attribute out of range", 3};
        case kFormulaTooLong: return {"XLS formula too long", 3};
    }
    return {"XLS error", 3};
}

void put16(uint8_t* p, unsigned v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

void put_f64(uint8_t* p, double x) {
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(bits >> (8 * i));
}

void check_cell(int row, int col) {
    if (row < 1 || row > kMaxRows || col < 1 || col > kMaxCols)
        throw XlsError(kOutsideSheet, fmt::format("\r\nRow: {} Column: {}", row, col));
}

// u8 length + bytes, the text cut to 255 bytes.
std::string counted8(std::string_view bytes) {
    std::string s;
    size_t n = std::min<size_t>(bytes.size(), 255);
    s.push_back(static_cast<char>(n));
    s.append(bytes.substr(0, n));
    return s;
}

std::string f64_bytes(double x) {
    uint8_t b[8];
    put_f64(b, x);
    return std::string(reinterpret_cast<const char*>(b), 8);
}

std::string u16_bytes(unsigned v) {
    uint8_t b[2];
    put16(b, v);
    return std::string(reinterpret_cast<const char*>(b), 2);
}

unsigned next_serial() {
    static std::atomic<unsigned> counter{0};
    return counter++;
}

std::string temp_xls_name() {
    auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) dir = "/tmp";
    return (dir / fmt::format("xls{}_{}_{}.xls", ::getpid(), next_serial(),
                              static_cast<unsigned long long>(now) % 1000000))
        .string();
}

}  // namespace

XlsError::XlsError(int number, std::string detail)
    : std::runtime_error(std::string(error_info(number).description) + detail),
      number_(number),
      severity_(error_info(number).severity),
      description_(error_info(number).description),
      subsystem_("XlsWriter"),
      operation_(std::move(detail)) {}

int XlsStyles::font(std::string_view face, double size, bool bold, bool italic, bool underline, bool strikeout) {
    FontEntry f;
    f.height = static_cast<int>(std::lround(size * 20));
    f.bold = bold;
    f.italic = italic;
    f.underline = underline;
    f.strikeout = strikeout;
    f.face = std::string(face);
    for (size_t i = 0; i < fonts_.size(); ++i)
        if (fonts_[i] == f) return static_cast<int>(i) + 1;
    fonts_.push_back(std::move(f));
    return static_cast<int>(fonts_.size());
}

int XlsStyles::format(std::string_view format) {
    for (size_t i = 0; i < formats_.size(); ++i)
        if (formats_[i] == format) return static_cast<int>(i) + 1;
    formats_.emplace_back(format);
    return static_cast<int>(formats_.size());
}

XlsWriter::XlsWriter(std::ostream& out, const XlsStyles& styles, WriterOptions opts)
    : out_(&out), protect_(opts.protect), open_when_done_(opts.open_when_done) {
    header(styles, opts);
}

XlsWriter::XlsWriter(const std::string& path, const XlsStyles& styles, WriterOptions opts)
    : protect_(opts.protect), open_when_done_(opts.open_when_done) {
    name_ = path.empty() ? temp_xls_name() : path;
    temp_name_ = name_ + fmt::format(".{}_{}.tmp", ::getpid(), next_serial());
    file_ = std::make_unique<std::ofstream>(temp_name_, std::ios::binary | std::ios::trunc);
    if (!file_->is_open()) {
        int e = errno;
        file_.reset();
        throw XlsError(kFileError, fmt::format("\r\nFile: {}\r\n{}", name_, std::strerror(e)));
    }
    out_ = file_.get();
    try {
        header(styles, opts);
    } catch (...) {
        file_.reset();
        std::remove(temp_name_.c_str());
        throw;
    }
}

XlsWriter::~XlsWriter() {
    if (file_ && !ended_) {
        file_.reset();
        std::remove(temp_name_.c_str());
    }
}

void XlsWriter::fail_io(const std::string& what) {
    int e = errno;
    std::string detail = fmt::format("\r\nFile: {}\r\n{}", name_.empty() ? "(stream)" : name_, what);
    if (e != 0) detail += fmt::format(": {}", std::strerror(e));
    throw XlsError(kFileError, detail);
}

void XlsWriter::record(uint16_t id, const uint8_t* data, size_t len) {
    if (ended_) throw XlsError(kFileError, "\r\nwrite after End");
    uint8_t head[4];
    put16(head, id);
    put16(head + 2, static_cast<unsigned>(len));
    errno = 0;
    out_->write(reinterpret_cast<const char*>(head), 4);
    if (len) out_->write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(len));
    if (!*out_) fail_io("write failed");
    bytes_ += 4 + len;
}

void XlsWriter::header(const XlsStyles& styles, const WriterOptions& opts) {
    if (opts.iterations < 0 || opts.iterations > 0xFFFF)
        throw XlsError(kAttributeRange, fmt::format("\r\nIterations: {}", opts.iterations));
    record(0x0009, u16_bytes(0x0005) + u16_bytes(0x0010));                 // BOF, worksheet
    record(0x000D, u16_bytes(opts.auto_calc ? 1 : 0));                      // CALCMODE
    record(0x000C, u16_bytes(opts.iterations == 0 ? 1 : static_cast<unsigned>(opts.iterations)));  // CALCCOUNT
    record(0x000F, u16_bytes(1));                                           // REFMODE A1
    record(0x0011, u16_bytes(opts.iterations != 0 ? 1 : 0));                // ITERATION
    record(0x0010, f64_bytes(0.001));                                       // DELTA
    record(0x000E, u16_bytes(1));                                           // PRECISION
    record(0x0022, u16_bytes(0));                                           // DATEMODE 1900
    record(0x0025, u16_bytes(0x80FF));                                      // DEFAULTROWHEIGHT
    auto font = [&](const FontEntry& f) {
        unsigned attr = (f.bold ? 1u : 0u) | (f.italic ? 2u : 0u) | (f.underline ? 4u : 0u) | (f.strikeout ? 8u : 0u);
        std::string face = xbase::from_utf8(f.face, xbase::CodePage::Win1252);
        record(0x0031, u16_bytes(static_cast<unsigned>(std::clamp(f.height, 0, 0xFFFF))) + u16_bytes(attr) +
                           counted8(face));
    };
    const FontEntry base;  // 10 points, no attributes, "Arial"
    font(base);
    for (size_t i = 0; i < 3; ++i) font(i < styles.fonts().size() ? styles.fonts()[i] : base);
    record(0x0040, u16_bytes(0));  // BACKUP
    record(0x001F, u16_bytes(1));  // FORMATCOUNT
    record(0x001E, counted8("General"));
    for (const std::string& f : styles.formats())
        record(0x001E, counted8(xbase::from_utf8(f, xbase::CodePage::Win1252)));
}

void XlsWriter::Say(int row, int col, const fo::Value& v, const CellStyle& st) {
    switch (v.type) {
        case fo::Type::Number: return Number(row, col, v.number, st);
        case fo::Type::Text: return String(row, col, v.text_view(), st);
        case fo::Type::Date: return Date(row, col, v.date, st);
        case fo::Type::Logical: return Boolean(row, col, v.logical, st);
        case fo::Type::Undefined: return Blank(row, col, st);
        case fo::Type::Array: break;
    }
    throw XlsError(kUnsupportedType, "\r\nType: A");
}

void XlsWriter::Say(int row, int col, const std::function<fo::Value()>& value, const CellStyle& st) {
    Say(row, col, value(), st);
}

void XlsWriter::Number(int row, int col, double x, const CellStyle& st) {
    uint8_t b[15];
    cell_header(b, row, col, st);
    if (x >= 0 && x <= 65535 && x == std::floor(x)) {
        put16(b + 7, static_cast<unsigned>(x));
        record(0x0002, b, 9);  // INTEGER
    } else {
        put_f64(b + 7, x);
        record(0x0003, b, 15);  // NUMBER
    }
}

void XlsWriter::String(int row, int col, std::string_view utf8, const CellStyle& st) {
    uint8_t b[8 + 255];
    cell_header(b, row, col, st);
    std::string text = xbase::from_utf8(utf8, xbase::CodePage::Win1252);
    size_t n = std::min<size_t>(text.size(), 255);
    b[7] = static_cast<uint8_t>(n);
    std::memcpy(b + 8, text.data(), n);
    record(0x0004, b, 8 + n);  // LABEL
}

void XlsWriter::Date(int row, int col, common::Date date, const CellStyle& st) {
    if (date == common::kEmptyDate) return Blank(row, col, st);
    // Serial of the 1900 system, which counts a 29 February 1900: exact from 1 March 1900.
    static const common::Date jan1_1900 = common::date_from_ymd(1900, 1, 1);
    Number(row, col, static_cast<double>(date - jan1_1900) + 2, st);
}

void XlsWriter::Boolean(int row, int col, bool value, const CellStyle& st) {
    uint8_t b[9];
    cell_header(b, row, col, st);
    b[7] = value ? 1 : 0;
    b[8] = 0;
    record(0x0005, b, 9);
}

void XlsWriter::Error(int row, int col, int code, const CellStyle& st) {
    if (code < 0 || code > 255) throw XlsError(kAttributeRange, fmt::format("\r\nError code: {}", code));
    uint8_t b[9];
    cell_header(b, row, col, st);
    b[7] = static_cast<uint8_t>(code);
    b[8] = 1;
    record(0x0005, b, 9);
}

void XlsWriter::Blank(int row, int col, const CellStyle& st) {
    uint8_t b[7];
    cell_header(b, row, col, st);
    record(0x0001, b, 7);
}

void XlsWriter::Formula(int row, int col, std::string_view text, const FormulaEnv& env, const CellStyle& st,
                        double current, bool recalc) {
    uint8_t b[17 + 255];
    cell_header(b, row, col, st);
    std::string tokens = encode_formula(text, env);
    if (tokens.size() > 255)
        throw XlsError(kFormulaTooLong, fmt::format("\r\n{}", text));
    put_f64(b + 7, current);
    b[15] = recalc ? 2 : 0;
    b[16] = static_cast<uint8_t>(tokens.size());
    std::memcpy(b + 17, tokens.data(), tokens.size());
    record(0x0006, b, 17 + tokens.size());
}

void XlsWriter::Note(int row, int col, std::string_view utf8) {
    check_cell(row, col);
    std::string text = xbase::from_utf8(utf8, xbase::CodePage::Win1252);
    if (text.size() > 2048) text.resize(2048);
    record(0x001C, u16_bytes(static_cast<unsigned>(row - 1)) + u16_bytes(static_cast<unsigned>(col - 1)) +
                       u16_bytes(static_cast<unsigned>(text.size())) + text);
}

void XlsWriter::Row(int row, double height) {
    check_cell(row, 1);
    double tw = std::trunc(height * 20);
    if (!(tw >= 0 && tw <= 0x7FFF)) throw XlsError(kAttributeRange, fmt::format("\r\nRow height: {}", height));
    uint8_t b[16] = {};
    put16(b, static_cast<unsigned>(row - 1));
    put16(b + 6, static_cast<unsigned>(tw));
    record(0x0008, b, 16);
}

void XlsWriter::Col(int first, int last, double width, bool hidden) {
    if (last == 0) last = first;
    check_cell(1, first);
    check_cell(1, last);
    if (last < first) throw XlsError(kOutsideSheet, fmt::format("\r\nColumns: {}-{}", first, last));
    unsigned w = 0;
    if (!hidden) {
        double units = std::floor((width + 0.72) * 256 + 0.5);  // nearest, halves upward
        if (!(units >= 0 && units <= 0xFFFF)) throw XlsError(kAttributeRange, fmt::format("\r\nWidth: {}", width));
        w = static_cast<unsigned>(units);
    }
    uint8_t b[4];
    b[0] = static_cast<uint8_t>(first - 1);
    b[1] = static_cast<uint8_t>(last - 1);
    put16(b + 2, w);
    record(0x0024, b, 4);
}

void XlsWriter::SetDisplay(const DisplayOptions& d) {
    auto twips = [](long v) {
        if (v < 0 || v * 20 > 0xFFFF) throw XlsError(kAttributeRange, fmt::format("\r\nWindow: {}", v));
        return static_cast<unsigned>(v * 20);
    };
    uint8_t w1[9];
    put16(w1, twips(d.left));
    put16(w1 + 2, twips(d.top));
    put16(w1 + 4, twips(static_cast<long>(d.right) - d.left + 1));
    put16(w1 + 6, twips(static_cast<long>(d.bottom) - d.top + 1));
    w1[8] = d.hidden ? 1 : 0;
    record(0x003D, w1, 9);
    uint8_t w2[14] = {};
    w2[0] = d.show_formulas ? 1 : 0;
    w2[1] = d.show_gridlines ? 1 : 0;
    w2[2] = d.show_headings ? 1 : 0;
    w2[3] = 0;
    w2[4] = d.suppress_zeros ? 0 : 1;
    w2[9] = 1;  // default heading colour; top row, left column and grid colour stay 0
    record(0x003E, w2, 14);
}

void XlsWriter::SetPrinter(const PrinterOptions& p) {
    auto text = [](const std::string& s) {
        return s.empty() ? std::string() : counted8(xbase::from_utf8(s, xbase::CodePage::Win1252));
    };
    record(0x0014, text(p.header));
    record(0x0015, text(p.footer));
    record(0x0026, f64_bytes(p.left));
    record(0x0027, f64_bytes(p.right));
    record(0x0028, f64_bytes(p.top));
    record(0x0029, f64_bytes(p.bottom));
    record(0x002A, u16_bytes(p.print_headings ? 1 : 0));
    record(0x002B, u16_bytes(p.print_gridlines ? 1 : 0));
}

void XlsWriter::AddBreak(std::string_view kind, std::span<const int> positions) {
    std::vector<int>* list = kind == "HORIZONTAL" ? &hbreaks_ : kind == "VERTICAL" ? &vbreaks_ : nullptr;
    if (!list) return;
    for (int p : positions) {
        if (list == &hbreaks_) check_cell(p, 1);
        else check_cell(1, p);
    }
    list->insert(list->end(), positions.begin(), positions.end());
    std::sort(list->begin(), list->end());
    list->erase(std::unique(list->begin(), list->end()), list->end());
}

bool XlsWriter::End() {
    if (ended_) return false;
    auto breaks = [&](uint16_t id, const std::vector<int>& list) {
        std::string d = u16_bytes(static_cast<unsigned>(list.size()));
        for (int p : list) d += u16_bytes(static_cast<unsigned>(p - 1));
        record(id, d);
    };
    breaks(0x001B, hbreaks_);
    breaks(0x001A, vbreaks_);
    record(0x0012, u16_bytes(protect_ ? 1 : 0));
    record(0x000A, nullptr, 0);
    errno = 0;
    out_->flush();
    if (!*out_) fail_io("write failed");
    ended_ = true;
    if (file_) {
        file_->close();
        if (file_->fail()) {
            std::remove(temp_name_.c_str());
            fail_io("close failed");
        }
        file_.reset();
        errno = 0;
        if (std::rename(temp_name_.c_str(), name_.c_str()) != 0) {
            int e = errno;
            std::remove(temp_name_.c_str());
            errno = e;
            fail_io("rename failed");
        }
    }
    out_ = nullptr;
    return open_when_done_;
}

void XlsWriter::cell_header(uint8_t* p, int row, int col, const CellStyle& st) const {
    check_cell(row, col);
    if (st.format < 0 || st.format > 63)
        throw XlsError(kAttributeRange, fmt::format("\r\nFormat: {}", st.format));
    if (st.extra < 0 || st.extra > 63) throw XlsError(kAttributeRange, fmt::format("\r\nAttribute: {}", st.extra));
    if (st.border & ~0x78) throw XlsError(kAttributeRange, fmt::format("\r\nBorder: {}", st.border));
    if (st.align < 0 || st.align > 7) throw XlsError(kAttributeRange, fmt::format("\r\nAlignment: {}", st.align));
    if (st.font < 0) throw XlsError(kAttributeRange, fmt::format("\r\nFont: {}", st.font));
    put16(p, static_cast<unsigned>(row - 1));
    put16(p + 2, static_cast<unsigned>(col - 1));
    p[4] = static_cast<uint8_t>((st.hidden ? 0x80 : 0) | (st.locked ? 0x40 : 0) | st.extra);
    uint8_t font_bits = st.font == 0 ? 0x00 : st.font == 1 ? 0x40 : st.font == 2 ? 0x80 : 0xC0;
    p[5] = static_cast<uint8_t>(font_bits | st.format);
    p[6] = static_cast<uint8_t>((st.shaded ? 0x80 : 0) | st.border | st.align);
}

}  // namespace xls
