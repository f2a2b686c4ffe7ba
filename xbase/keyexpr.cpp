#include "xbase/keyexpr.hpp"

#include "common/dates.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/decimal.hpp"
#include "xbase/error.hpp"

namespace xbase {

// ---------------------------------------------------------------------------------------
// Key encodings and dates

void encode_numeric_key(double v, uint8_t out[8]) {
    if (v == 0.0) v = 0.0;  // -0.0 sorts with +0.0
    uint64_t bits = std::bit_cast<uint64_t>(v);
    if (bits >> 63)
        bits = ~bits;
    else
        bits |= uint64_t{1} << 63;
    for (int i = 7; i >= 0; --i) {
        out[i] = static_cast<uint8_t>(bits);
        bits >>= 8;
    }
}

double decode_numeric_key(const uint8_t in[8]) {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | in[i];
    if (bits >> 63)
        bits &= ~(uint64_t{1} << 63);
    else
        bits = ~bits;
    return std::bit_cast<double>(bits);
}

// The calendar arithmetic is the shared date module's; keys use the same day numbers.
int32_t julian_from_ymd(int y, int m, int d) { return common::date_from_ymd(y, m, d); }

void ymd_from_julian(int32_t jd, int& y, int& m, int& d) { common::ymd_from_date(jd, y, m, d); }

namespace {

constexpr int32_t kFirstJd = 1721426;  // 0001-01-01
constexpr int32_t kLastJd = 5373484;   // 9999-12-31

bool is_digit(uint8_t c) { return c >= '0' && c <= '9'; }


// Eight bytes "YYYYMMDD" of a real calendar date (year 1 to 9999).
bool parse_ymd8(const uint8_t* p, int& y, int& m, int& d) {
    for (int i = 0; i < 8; ++i)
        if (!is_digit(p[i])) return false;
    y = (p[0] - '0') * 1000 + (p[1] - '0') * 100 + (p[2] - '0') * 10 + (p[3] - '0');
    m = (p[4] - '0') * 10 + (p[5] - '0');
    d = (p[6] - '0') * 10 + (p[7] - '0');
    return y >= 1 && m >= 1 && m <= 12 && d >= 1 && d <= common::days_in_month(y, m);
}

// The Julian day of a D field's bytes; blanks and anything malformed are the empty date.
int32_t jd_from_field(const uint8_t* p) {
    int y, m, d;
    return parse_ymd8(p, y, m, d) ? julian_from_ymd(y, m, d) : 0;
}

}  // namespace

bool julian_from_dtos(std::string_view s, int32_t& jd) {
    if (s.find_first_not_of(' ') == std::string_view::npos) {
        jd = 0;
        return true;
    }
    int y, m, d;
    if (s.size() != 8 || !parse_ymd8(reinterpret_cast<const uint8_t*>(s.data()), y, m, d)) return false;
    jd = julian_from_ymd(y, m, d);
    return true;
}

// ---------------------------------------------------------------------------------------
// Compiled expressions
//
// An expression compiles to a tree of typed nodes in one vector. Text nodes have a width
// fixed at compile time; they write at most that many bytes and return how many they
// wrote (only the trimming functions write fewer). Nodes that need a buffer for an operand
// (text comparisons, Substr of a computed text...) get a slice of a scratch area that the
// evaluator keeps on its stack, laid out at compile time, so evaluation never allocates.

namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr int kMaxNesting = 100;   // parentheses, function calls and prefix operators
constexpr int kMaxDepth = 256;     // height of the node tree (long chains of a + b + ...)
constexpr int kMaxWidth = 4096;    // widest text value
constexpr int kMaxScratch = 16384; // working space for one evaluation
constexpr int kSmallScratch = 512;

enum class Op : uint8_t {
    // text
    FieldC, LitC, Concat, ConcatTrim, Str, StrZero, DtoS, Slice, Right, Upper, RTrim, LTrim,
    AllTrim,
    // number
    FieldN, FieldI, FieldB, FieldY, LitN, Add, Sub, Mul, Div, Mod, Pow, Neg, Month, Day, Year,
    Val, DateDiff, Int, Abs, Round,
    // date
    FieldD, FieldT, DateAdd, DateSub,
    // logical
    FieldL, LitL, Deleted, And, Or, Not, Cmp, Contains, Empty,
    // of the type of its branches
    Iif,
};

enum Rel : int32_t { kEq, kExact, kNe, kLt, kLe, kGt, kGe };

struct Node {
    Op op;
    char type;             // 'C', 'N', 'D' or 'L'
    bool fixed = true;     // text: always fills its width
    bool is_const = false; // depends on no record
    uint16_t depth = 1;
    int32_t width = 0;     // text width
    uint32_t a = kNone, b = kNone, c = kNone;
    int32_t p1 = 0, p2 = 0;  // offsets, lengths, widths, decimals, operators
    int32_t scratch = 0;     // offset of this node's buffers in the scratch area
    double num = 0.0;
};

struct Program {
    std::vector<Node> nodes;
    std::string pool;  // bytes of the text literals
    uint8_t upper[256];
    uint32_t root = kNone;
    int scratch = 0;
};

struct Ctx {
    const uint8_t* rec;
    uint8_t* scratch;
};

struct View {
    const uint8_t* p;
    int n;
};

// ---- value helpers ---------------------------------------------------------------------

uint32_t le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint64_t le64(const uint8_t* p) { return uint64_t{le32(p)} | uint64_t{le32(p + 4)} << 32; }

constexpr double kPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                               1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                               1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The number at the start of a text, as xBase Val() and numeric fields read it: leading
// blanks, an optional sign, digits with an optional decimal point; stops at anything else;
// no digits at all is 0.
double parse_number(const uint8_t* p, int n) {
    int i = 0;
    while (i < n && p[i] == ' ') ++i;
    bool neg = false;
    if (i < n && (p[i] == '-' || p[i] == '+')) neg = p[i++] == '-';
    const int start = i;
    constexpr uint64_t kExact = uint64_t{1} << 53;
    uint64_t mant = 0;
    bool exact = true;
    bool any = false;
    bool int_nonzero = false;
    int frac = 0;
    for (; i < n && is_digit(p[i]); ++i) {
        any = true;
        if (p[i] != '0') int_nonzero = true;
        if (mant > (kExact - 9) / 10)
            exact = false;
        else
            mant = mant * 10 + (p[i] - '0');
    }
    if (i < n && p[i] == '.') {
        for (++i; i < n && is_digit(p[i]); ++i) {
            any = true;
            if (mant > (kExact - 9) / 10) {
                exact = false;
            } else {
                mant = mant * 10 + (p[i] - '0');
                ++frac;
            }
        }
    }
    if (!any || (exact && mant == 0)) return 0.0;
    double v;
    if (exact && frac <= 22) {
        // Both operands are exact doubles, so the one rounding of the division gives the
        // double nearest to the decimal.
        v = static_cast<double>(mant) / kPow10[frac];
    } else {
        auto r = std::from_chars(reinterpret_cast<const char*>(p + start),
                                 reinterpret_cast<const char*>(p + i), v, std::chars_format::fixed);
        if (r.ec == std::errc::result_out_of_range)
            v = int_nonzero ? HUGE_VAL : 0.0;
        else if (r.ec != std::errc())
            v = 0.0;
    }
    return neg ? -v : v;
}

// Str(x, w, d) into w bytes. Whole numbers below 10^15 (counters, years, months) are
// written directly; everything else goes through the shared decimal formatting.
void format_str(double x, int w, int d, uint8_t* out) {
    char* o = reinterpret_cast<char*>(out);
    if (std::fabs(x) < 1e15 && x == std::trunc(x)) {
        uint64_t v = static_cast<uint64_t>(std::fabs(x));
        char digits[20];
        int nd = 0;
        do {
            digits[nd++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v);
        bool neg = x < 0;  // -0.0 compares equal to 0, so it is not negative here
        int len = (neg ? 1 : 0) + nd + (d > 0 ? d + 1 : 0);
        if (len > w) {
            std::memset(o, '*', w);
            return;
        }
        std::memset(o, ' ', w - len);
        o += w - len;
        if (neg) *o++ = '-';
        while (nd) *o++ = digits[--nd];
        if (d > 0) {
            *o++ = '.';
            std::memset(o, '0', d);
        }
        return;
    }
    common::str_into(x, w, d, o);
}

// StrZero: Str with the leading blanks as zeros and a minus sign in front of them.
void zero_fill(uint8_t* out, int w) {
    int p = 0;
    while (p < w && out[p] == ' ') ++p;
    if (p == 0 || p == w) return;
    if (out[p] == '-') {
        out[0] = '-';
        std::memset(out + 1, '0', p);
    } else {
        std::memset(out, '0', p);
    }
}

void write_dtos(int32_t jd, uint8_t* out) {
    int y, m, d;
    ymd_from_julian(jd, y, m, d);
    if (jd == 0 || y < 1 || y > 9999) {
        std::memset(out, ' ', 8);
        return;
    }
    out[0] = static_cast<uint8_t>('0' + y / 1000);
    out[1] = static_cast<uint8_t>('0' + y / 100 % 10);
    out[2] = static_cast<uint8_t>('0' + y / 10 % 10);
    out[3] = static_cast<uint8_t>('0' + y % 10);
    out[4] = static_cast<uint8_t>('0' + m / 10);
    out[5] = static_cast<uint8_t>('0' + m % 10);
    out[6] = static_cast<uint8_t>('0' + d / 10);
    out[7] = static_cast<uint8_t>('0' + d % 10);
}

// A date moved by x days; the empty date stays empty, and so does a result outside the
// years 1 to 9999.
int32_t add_days(int32_t jd, double x) {
    if (jd == 0 || !(std::fabs(x) < 1e7)) return 0;
    int64_t r = int64_t{jd} + static_cast<int64_t>(std::trunc(x));
    return (r < kFirstJd || r > kLastJd) ? 0 : static_cast<int32_t>(r);
}

// xBase modulus: the result has the sign of the divisor.
double xmod(double x, double y) {
    double r = std::fmod(x, y);
    if (r != 0.0 && ((r < 0) != (y < 0))) r += y;
    return r;
}

bool blank_byte(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Three-way text comparison with the prefix rule: a is compared only over the length of b,
// so an empty b matches everything.
int compare_prefix(View a, View b) {
    int n = std::min(a.n, b.n);
    if (n > 0) {
        int r = std::memcmp(a.p, b.p, n);
        if (r != 0) return r;
    }
    return a.n >= b.n ? 0 : -1;
}

bool contains(View needle, View hay) {
    if (needle.n == 0 || needle.n > hay.n) return false;
    for (int i = 0; i + needle.n <= hay.n; ++i)
        if (hay.p[i] == needle.p[0] && std::memcmp(hay.p + i, needle.p, needle.n) == 0) return true;
    return false;
}

template <typename T>
bool relate(int32_t rel, T x, T y) {
    switch (rel) {
        case kEq:
        case kExact: return x == y;
        case kNe: return x != y;
        case kLt: return x < y;
        case kLe: return x <= y;
        case kGt: return x > y;
        default: return x >= y;
    }
}

// ---- evaluation ------------------------------------------------------------------------

double eval_num(const Program& p, uint32_t i, const Ctx& c);
int32_t eval_date(const Program& p, uint32_t i, const Ctx& c);
bool eval_logic(const Program& p, uint32_t i, const Ctx& c);
int eval_text(const Program& p, uint32_t i, const Ctx& c, uint8_t* out);

// A text operand where it already is (field or literal), else computed into buf.
View view(const Program& p, uint32_t i, const Ctx& c, uint8_t* buf) {
    const Node& n = p.nodes[i];
    if (n.op == Op::FieldC) return {c.rec + n.p1, n.width};
    if (n.op == Op::LitC) return {reinterpret_cast<const uint8_t*>(p.pool.data()) + n.p1, n.width};
    return {buf, eval_text(p, i, c, buf)};
}

int eval_text(const Program& p, uint32_t i, const Ctx& c, uint8_t* out) {
    const Node& n = p.nodes[i];
    switch (n.op) {
        case Op::FieldC:
            std::memcpy(out, c.rec + n.p1, n.width);
            return n.width;
        case Op::LitC:
            std::memcpy(out, p.pool.data() + n.p1, n.width);
            return n.width;
        case Op::Concat: {
            int la = eval_text(p, n.a, c, out);
            return la + eval_text(p, n.b, c, out + la);
        }
        case Op::ConcatTrim: {
            // a - b: the trailing blanks of a go to the end of the result.
            int la = eval_text(p, n.a, c, out);
            int t = la;
            while (t > 0 && out[t - 1] == ' ') --t;
            int lb = eval_text(p, n.b, c, out + t);
            std::memset(out + t + lb, ' ', la - t);
            return la + lb;
        }
        case Op::Str:
            format_str(eval_num(p, n.a, c), n.width, n.p2, out);
            return n.width;
        case Op::StrZero:
            format_str(eval_num(p, n.a, c), n.width, n.p2, out);
            zero_fill(out, n.width);
            return n.width;
        case Op::DtoS:
            write_dtos(eval_date(p, n.a, c), out);
            return 8;
        case Op::Slice: {
            uint8_t* buf = c.scratch + n.scratch;
            int l = eval_text(p, n.a, c, buf);
            if (n.p1 >= l) return 0;
            int k = std::min(n.width, l - n.p1);
            std::memcpy(out, buf + n.p1, k);
            return k;
        }
        case Op::Right: {
            uint8_t* buf = c.scratch + n.scratch;
            int l = eval_text(p, n.a, c, buf);
            int k = std::min(n.width, l);
            std::memcpy(out, buf + (l - k), k);
            return k;
        }
        case Op::Upper: {
            int l = eval_text(p, n.a, c, out);
            for (int k = 0; k < l; ++k) out[k] = p.upper[out[k]];
            return l;
        }
        case Op::RTrim: {
            int l = eval_text(p, n.a, c, out);
            while (l > 0 && out[l - 1] == ' ') --l;
            return l;
        }
        case Op::LTrim:
        case Op::AllTrim: {
            int l = eval_text(p, n.a, c, out);
            if (n.op == Op::AllTrim)
                while (l > 0 && out[l - 1] == ' ') --l;
            int k = 0;
            while (k < l && out[k] == ' ') ++k;
            if (k > 0) std::memmove(out, out + k, l - k);
            return l - k;
        }
        case Op::Iif:
            return eval_logic(p, n.a, c) ? eval_text(p, n.b, c, out) : eval_text(p, n.c, c, out);
        default:
            return 0;  // not a text node; the compiler never builds this
    }
}

double eval_num(const Program& p, uint32_t i, const Ctx& c) {
    const Node& n = p.nodes[i];
    switch (n.op) {
        case Op::FieldN: return parse_number(c.rec + n.p1, n.p2);
        case Op::FieldI: return static_cast<int32_t>(le32(c.rec + n.p1));
        case Op::FieldB: return std::bit_cast<double>(le64(c.rec + n.p1));
        case Op::FieldY: return static_cast<double>(static_cast<int64_t>(le64(c.rec + n.p1))) / 10000.0;
        case Op::LitN: return n.num;
        case Op::Add: return eval_num(p, n.a, c) + eval_num(p, n.b, c);
        case Op::Sub: return eval_num(p, n.a, c) - eval_num(p, n.b, c);
        case Op::Mul: return eval_num(p, n.a, c) * eval_num(p, n.b, c);
        case Op::Div: return eval_num(p, n.a, c) / eval_num(p, n.b, c);
        case Op::Mod: return xmod(eval_num(p, n.a, c), eval_num(p, n.b, c));
        case Op::Pow: return std::pow(eval_num(p, n.a, c), eval_num(p, n.b, c));
        case Op::Neg: return -eval_num(p, n.a, c);
        case Op::Month:
        case Op::Day:
        case Op::Year: {
            int y, m, d;
            const Node& arg = p.nodes[n.a];
            if (arg.op == Op::FieldD) {
                // Straight from the stored digits, without the round trip through a day number.
                if (!parse_ymd8(c.rec + arg.p1, y, m, d)) return 0.0;
            } else {
                ymd_from_julian(eval_date(p, n.a, c), y, m, d);
            }
            return n.op == Op::Month ? m : n.op == Op::Day ? d : y;
        }
        case Op::Val: {
            View v = view(p, n.a, c, c.scratch + n.scratch);
            return parse_number(v.p, v.n);
        }
        case Op::DateDiff: return static_cast<double>(eval_date(p, n.a, c)) - eval_date(p, n.b, c);
        case Op::Int: return common::int_trunc(eval_num(p, n.a, c));
        case Op::Abs: return std::fabs(eval_num(p, n.a, c));
        case Op::Round: return common::round_half_away(eval_num(p, n.a, c), n.p1);
        case Op::Iif: return eval_logic(p, n.a, c) ? eval_num(p, n.b, c) : eval_num(p, n.c, c);
        default: return 0.0;
    }
}

int32_t eval_date(const Program& p, uint32_t i, const Ctx& c) {
    const Node& n = p.nodes[i];
    switch (n.op) {
        case Op::FieldD: return jd_from_field(c.rec + n.p1);
        case Op::FieldT: {
            int32_t jd = static_cast<int32_t>(le32(c.rec + n.p1));
            return (jd < kFirstJd || jd > kLastJd) ? 0 : jd;
        }
        case Op::DateAdd: return add_days(eval_date(p, n.a, c), eval_num(p, n.b, c));
        case Op::DateSub: return add_days(eval_date(p, n.a, c), -eval_num(p, n.b, c));
        case Op::Iif: return eval_logic(p, n.a, c) ? eval_date(p, n.b, c) : eval_date(p, n.c, c);
        default: return 0;
    }
}

bool eval_logic(const Program& p, uint32_t i, const Ctx& c) {
    const Node& n = p.nodes[i];
    switch (n.op) {
        case Op::FieldL: {
            uint8_t v = c.rec[n.p1];
            return v == 'T' || v == 't' || v == 'Y' || v == 'y';
        }
        case Op::LitL: return n.p1 != 0;
        case Op::Deleted: return c.rec[0] == '*';
        case Op::And: return eval_logic(p, n.a, c) && eval_logic(p, n.b, c);
        case Op::Or: return eval_logic(p, n.a, c) || eval_logic(p, n.b, c);
        case Op::Not: return !eval_logic(p, n.a, c);
        case Op::Cmp:
            switch (n.p2) {
                case 'N': return relate(n.p1, eval_num(p, n.a, c), eval_num(p, n.b, c));
                case 'D': return relate(n.p1, eval_date(p, n.a, c), eval_date(p, n.b, c));
                case 'L': return relate(n.p1, eval_logic(p, n.a, c), eval_logic(p, n.b, c));
                default: {
                    View x = view(p, n.a, c, c.scratch + n.scratch);
                    View y = view(p, n.b, c, c.scratch + n.scratch + p.nodes[n.a].width);
                    if (n.p1 == kExact) return x.n == y.n && (x.n == 0 || std::memcmp(x.p, y.p, x.n) == 0);
                    return relate(n.p1, compare_prefix(x, y), 0);
                }
            }
        case Op::Contains: {
            View x = view(p, n.a, c, c.scratch + n.scratch);
            View y = view(p, n.b, c, c.scratch + n.scratch + p.nodes[n.a].width);
            return contains(x, y);
        }
        case Op::Empty:
            switch (p.nodes[n.a].type) {
                case 'N': return eval_num(p, n.a, c) == 0.0;
                case 'D': return eval_date(p, n.a, c) == 0;
                case 'L': return !eval_logic(p, n.a, c);
                default: {
                    View v = view(p, n.a, c, c.scratch + n.scratch);
                    for (int k = 0; k < v.n; ++k)
                        if (!blank_byte(v.p[k])) return false;
                    return true;
                }
            }
        case Op::Iif: return eval_logic(p, n.a, c) ? eval_logic(p, n.b, c) : eval_logic(p, n.c, c);
        default: return false;
    }
}

// Lays out the scratch area below node i, starting at base; returns the end of the space
// the subtree uses. Siblings share the space above their parent's own buffers, since a
// sibling's working values are dead once its result is in the parent's buffer.
int assign_scratch(Program& p, uint32_t i, int base) {
    Node& n = p.nodes[i];
    int own = 0;
    auto wa = [&] { return p.nodes[n.a].width; };
    switch (n.op) {
        case Op::Cmp:
            if (n.p2 == 'C') own = wa() + p.nodes[n.b].width;
            break;
        case Op::Contains: own = wa() + p.nodes[n.b].width; break;
        case Op::Slice:
        case Op::Right:
        case Op::Val: own = wa(); break;
        case Op::Empty:
            if (p.nodes[n.a].type == 'C') own = wa();
            break;
        default: break;
    }
    n.scratch = base;
    const int top = base + own;
    int end = top;
    for (uint32_t k : {n.a, n.b, n.c})
        if (k != kNone) end = std::max(end, assign_scratch(p, k, top));
    return end;
}

// ---- parser ----------------------------------------------------------------------------

enum class Tok : uint8_t {
    End, Ident, Number, String, True, False, And, Or, Not, LParen, RParen, Comma,
    Plus, Minus, Star, Slash, Percent, Power, Eq, Exact, Ne, Lt, Le, Gt, Ge, Dollar,
};

struct Token {
    Tok kind;
    int pos;  // byte offset in the text
    int len;
    double num = 0.0;
};

enum class Fn : uint8_t {
    Str, StrZero, DtoS, Left, Right, Substr, Upper, Month, Day, Year, Val, Empty, Deleted,
    Trim, RTrim, LTrim, AllTrim, Iif, Int, Abs, Round,
};

struct FnInfo {
    const char* name;     // upper case, as matched
    const char* display;  // as shown in messages
    Fn fn;
    int min_args;
    int max_args;
};

constexpr FnInfo kFunctions[] = {
    {"STR", "Str", Fn::Str, 1, 3},
    {"STRZERO", "StrZero", Fn::StrZero, 1, 3},
    {"DTOS", "DtoS", Fn::DtoS, 1, 1},
    {"LEFT", "Left", Fn::Left, 2, 2},
    {"RIGHT", "Right", Fn::Right, 2, 2},
    {"SUBSTR", "Substr", Fn::Substr, 2, 3},
    {"UPPER", "Upper", Fn::Upper, 1, 1},
    {"MONTH", "Month", Fn::Month, 1, 1},
    {"DAY", "Day", Fn::Day, 1, 1},
    {"YEAR", "Year", Fn::Year, 1, 1},
    {"VAL", "Val", Fn::Val, 1, 1},
    {"EMPTY", "Empty", Fn::Empty, 1, 1},
    {"DELETED", "Deleted", Fn::Deleted, 0, 0},
    {"TRIM", "Trim", Fn::Trim, 1, 1},
    {"RTRIM", "RTrim", Fn::RTrim, 1, 1},
    {"LTRIM", "LTrim", Fn::LTrim, 1, 1},
    {"ALLTRIM", "AllTrim", Fn::AllTrim, 1, 1},
    {"IIF", "Iif", Fn::Iif, 3, 3},
    {"INT", "Int", Fn::Int, 1, 1},
    {"ABS", "Abs", Fn::Abs, 1, 1},
    {"ROUND", "Round", Fn::Round, 2, 2},
};

bool is_alpha(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool is_space(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string upper_ascii(std::string_view s) {
    std::string r(s);
    for (char& ch : r)
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    return r;
}

const char* type_name(char t) {
    switch (t) {
        case 'C': return "text";
        case 'N': return "a number";
        case 'D': return "a date";
        default: return "a logical value";
    }
}

class Parser {
public:
    Parser(std::string_view text, const std::vector<Field>& fields, CodePage cp, const char* what,
           Program& prog)
        : text_(text), fields_(fields), cp_(cp), what_(what), p_(prog) {
        for (int b = 0; b < 256; ++b) p_.upper[b] = upper_byte(static_cast<uint8_t>(b), cp);
    }

    // Parses the whole text and lays out the scratch area.
    void run() {
        lex();
        uint32_t root = parse_or();
        if (cur().kind != Tok::End) fail_at(cur(), "unexpected " + describe(cur()));
        p_.root = root;
        p_.scratch = assign_scratch(p_, root, 0);
        if (p_.scratch > kMaxScratch) fail("the expression needs too much working space");
    }

    [[noreturn]] void fail(const std::string& msg) const {
        std::string shown(text_.substr(0, 200));
        if (text_.size() > 200) shown += "...";
        throw ExprError(msg + " in " + what_ + " '" + shown + "'");
    }

private:
    std::string_view text_;
    const std::vector<Field>& fields_;
    CodePage cp_;
    const char* what_;
    Program& p_;
    std::vector<Token> toks_;
    size_t at_ = 0;
    int nesting_ = 0;

    struct Nest {
        Parser& ps;
        explicit Nest(Parser& p) : ps(p) {
            if (++ps.nesting_ > kMaxNesting) ps.fail("the expression is nested too deeply");
        }
        ~Nest() { --ps.nesting_; }
    };

    [[noreturn]] void fail_at(const Token& t, const std::string& msg) const {
        fail(msg + " at position " + std::to_string(t.pos + 1));
    }

    std::string describe(const Token& t) const {
        if (t.kind == Tok::End) return "end of the expression";
        std::string s(text_.substr(t.pos, std::min(t.len, 30)));
        return "'" + s + (t.len > 30 ? "...'" : "'");
    }

    const Token& cur() const { return toks_[at_]; }
    const Token& next() { return toks_[at_++]; }
    bool accept(Tok k) {
        if (cur().kind != k) return false;
        ++at_;
        return true;
    }

    // ---- lexer ----

    void lex() {
        const size_t n = text_.size();
        size_t i = 0;
        auto ch = [&](size_t k) -> uint8_t { return k < n ? static_cast<uint8_t>(text_[k]) : 0; };
        for (;;) {
            while (i < n && is_space(ch(i))) ++i;
            Token t{Tok::End, static_cast<int>(i), 0};
            if (i >= n) {
                toks_.push_back(t);
                return;
            }
            uint8_t c = ch(i);
            size_t j = i + 1;
            if (is_alpha(c)) {
                while (j < n && (is_alpha(ch(j)) || is_digit(ch(j)))) ++j;
                t.kind = Tok::Ident;
                if (ch(j) == '-' && ch(j + 1) == '>') {
                    t.len = static_cast<int>(j - i);
                    fail_at(t, "names with an alias (" + std::string(text_.substr(i, j - i)) +
                                   "->...) are not supported");
                }
            } else if (is_digit(c) || (c == '.' && is_digit(ch(i + 1)))) {
                // A point is a decimal point only when a digit follows: "1>0.AND.2>1".
                j = i;
                while (is_digit(ch(j))) ++j;
                if (ch(j) == '.' && is_digit(ch(j + 1))) {
                    ++j;
                    while (is_digit(ch(j))) ++j;
                }
                t.kind = Tok::Number;
                t.len = static_cast<int>(j - i);
                auto r = std::from_chars(text_.data() + i, text_.data() + j, t.num, std::chars_format::fixed);
                if (r.ec != std::errc()) fail_at(t, "number " + describe(t) + " out of range");
            } else if (c == '.') {
                t.kind = Tok::Ident;  // for the messages below
                while (j < n && is_alpha(ch(j))) ++j;
                t.len = static_cast<int>(j + 1 - i);
                std::string word = upper_ascii(text_.substr(i + 1, j - i - 1));
                if (ch(j) != '.' || word.empty()) {
                    t.len = 1;
                    fail_at(t, "unexpected '.'");
                }
                ++j;
                if (word == "T" || word == "Y")
                    t.kind = Tok::True;
                else if (word == "F" || word == "N")
                    t.kind = Tok::False;
                else if (word == "AND")
                    t.kind = Tok::And;
                else if (word == "OR")
                    t.kind = Tok::Or;
                else if (word == "NOT")
                    t.kind = Tok::Not;
                else
                    fail_at(t, "unknown operator " + describe(t));
            } else if (c == '"' || c == '\'' || c == '[') {
                uint8_t close = c == '[' ? ']' : c;
                while (j < n && ch(j) != close) ++j;
                if (j >= n) {
                    t.len = static_cast<int>(n - i);
                    fail_at(t, "text without its closing " + std::string(1, static_cast<char>(close)));
                }
                ++j;
                t.kind = Tok::String;
            } else {
                uint8_t c2 = ch(i + 1);
                j = i + 1;
                switch (c) {
                    case '(': t.kind = Tok::LParen; break;
                    case ')': t.kind = Tok::RParen; break;
                    case ',': t.kind = Tok::Comma; break;
                    case '+': t.kind = Tok::Plus; break;
                    case '-': t.kind = Tok::Minus; break;
                    case '/': t.kind = Tok::Slash; break;
                    case '%': t.kind = Tok::Percent; break;
                    case '^': t.kind = Tok::Power; break;
                    case '$': t.kind = Tok::Dollar; break;
                    case '#': t.kind = Tok::Ne; break;
                    case '*':
                        t.kind = c2 == '*' ? Tok::Power : Tok::Star;
                        j += c2 == '*';
                        break;
                    case '=':
                        t.kind = c2 == '=' ? Tok::Exact : Tok::Eq;
                        j += c2 == '=';
                        break;
                    case '!':
                        t.kind = c2 == '=' ? Tok::Ne : Tok::Not;
                        j += c2 == '=';
                        break;
                    case '<':
                        t.kind = c2 == '=' ? Tok::Le : c2 == '>' ? Tok::Ne : Tok::Lt;
                        j += (c2 == '=' || c2 == '>');
                        break;
                    case '>':
                        t.kind = c2 == '=' ? Tok::Ge : Tok::Gt;
                        j += c2 == '=';
                        break;
                    default: {
                        t.len = 1;
                        char hex[8];
                        std::snprintf(hex, sizeof hex, "0x%02X", c);
                        fail_at(t, c >= 0x20 && c < 0x7F
                                       ? "unexpected character '" + std::string(1, static_cast<char>(c)) + "'"
                                       : "unexpected byte " + std::string(hex));
                    }
                }
            }
            t.len = static_cast<int>(j - i);
            toks_.push_back(t);
            i = j;
        }
    }

    // ---- nodes ----

    uint32_t add(Node n) {
        int depth = 0;
        bool is_const = true;
        for (uint32_t k : {n.a, n.b, n.c}) {
            if (k == kNone) continue;
            depth = std::max<int>(depth, p_.nodes[k].depth);
            is_const = is_const && p_.nodes[k].is_const;
        }
        if (depth + 1 > kMaxDepth) fail("the expression is nested too deeply");
        n.depth = static_cast<uint16_t>(depth + 1);
        switch (n.op) {
            case Op::FieldC: case Op::FieldN: case Op::FieldI: case Op::FieldB: case Op::FieldY:
            case Op::FieldD: case Op::FieldT: case Op::FieldL: case Op::Deleted:
                is_const = false;
                break;
            default: break;
        }
        n.is_const = is_const;
        if (n.type == 'C' && n.width > kMaxWidth)
            fail("a text of " + std::to_string(n.width) + " characters is too wide (at most " +
                 std::to_string(kMaxWidth) + ")");
        p_.nodes.push_back(n);
        return static_cast<uint32_t>(p_.nodes.size() - 1);
    }

    const Node& node(uint32_t i) const { return p_.nodes[i]; }
    char type(uint32_t i) const { return p_.nodes[i].type; }
    int width(uint32_t i) const { return p_.nodes[i].width; }

    uint32_t make(Op op, char type, uint32_t a = kNone, uint32_t b = kNone, uint32_t c = kNone) {
        Node n{};
        n.op = op;
        n.type = type;
        n.a = a;
        n.b = b;
        n.c = c;
        return add(n);
    }

    uint32_t make_text(Op op, int width, bool fixed, uint32_t a = kNone, uint32_t b = kNone,
                       uint32_t c = kNone) {
        Node n{};
        n.op = op;
        n.type = 'C';
        n.width = width;
        n.fixed = fixed;
        n.a = a;
        n.b = b;
        n.c = c;
        return add(n);
    }

    uint32_t literal_text(std::string bytes) {
        Node n{};
        n.op = Op::LitC;
        n.type = 'C';
        n.width = static_cast<int>(bytes.size());
        n.p1 = static_cast<int32_t>(p_.pool.size());
        if (n.width <= kMaxWidth) p_.pool += bytes;
        return add(n);
    }

    uint32_t literal_number(double v) {
        Node n{};
        n.op = Op::LitN;
        n.type = 'N';
        n.num = v;
        return add(n);
    }

    // Characters start..start+count of a text (0-based start, clamped to the width).
    uint32_t slice(uint32_t a, int start, int count) {
        const int wa = width(a);
        const int w = start >= wa ? 0 : std::min(count, wa - start);
        const Node& na = node(a);
        if (na.op == Op::FieldC || na.op == Op::LitC) {
            Node n = na;
            n.p1 += w > 0 ? start : 0;
            n.width = w;
            n.depth = 1;
            return add(n);
        }
        Node n{};
        n.op = Op::Slice;
        n.type = 'C';
        n.a = a;
        n.p1 = std::min(start, wa);
        n.width = w;
        n.fixed = na.fixed;
        return add(n);
    }

    // ---- grammar ----
    //   or    := and { .OR. and }
    //   and   := not { .AND. not }
    //   not   := (.NOT. | !) not | cmp
    //   cmp   := sum { relop sum }                 relop: = == <> # != < <= > >= $
    //   sum   := prod { (+ | -) prod }
    //   prod  := unary { (* | / | %) unary }
    //   unary := (- | +) unary | power
    //   power := primary { (^ | **) unary }
    //   primary := number | text | .T. | .F. | ( or ) | name | name ( [or {, or}] ) | not

    void need(uint32_t i, char t, const std::string& where) {
        if (type(i) != t)
            fail(where + " needs " + type_name(t) + ", not " + type_name(type(i)));
    }

    uint32_t parse_or() {
        Nest guard(*this);
        uint32_t l = parse_and();
        while (cur().kind == Tok::Or) {
            next();
            uint32_t r = parse_and();
            need(l, 'L', ".OR.");
            need(r, 'L', ".OR.");
            l = make(Op::Or, 'L', l, r);
        }
        return l;
    }

    uint32_t parse_and() {
        uint32_t l = parse_not();
        while (cur().kind == Tok::And) {
            next();
            uint32_t r = parse_not();
            need(l, 'L', ".AND.");
            need(r, 'L', ".AND.");
            l = make(Op::And, 'L', l, r);
        }
        return l;
    }

    uint32_t parse_not() {
        if (cur().kind == Tok::Not) {
            Nest guard(*this);
            next();
            uint32_t a = parse_not();
            need(a, 'L', ".NOT.");
            return make(Op::Not, 'L', a);
        }
        return parse_cmp();
    }

    uint32_t parse_cmp() {
        uint32_t l = parse_sum();
        for (;;) {
            const Token& t = cur();
            int32_t rel;
            switch (t.kind) {
                case Tok::Eq: rel = kEq; break;
                case Tok::Exact: rel = kExact; break;
                case Tok::Ne: rel = kNe; break;
                case Tok::Lt: rel = kLt; break;
                case Tok::Le: rel = kLe; break;
                case Tok::Gt: rel = kGt; break;
                case Tok::Ge: rel = kGe; break;
                case Tok::Dollar: rel = -1; break;
                default: return l;
            }
            const std::string op = describe(next());
            uint32_t r = parse_sum();
            if (type(l) != type(r))
                fail("operator " + op + " cannot compare " + type_name(type(l)) + " with " +
                     type_name(type(r)));
            if (rel < 0) {
                if (type(l) != 'C') fail("operator '$' needs text on both sides");
                l = make(Op::Contains, 'L', l, r);
                continue;
            }
            if (type(l) == 'L' && rel != kEq && rel != kExact && rel != kNe)
                fail("logical values can only be compared with =, == or <>");
            Node n{};
            n.op = Op::Cmp;
            n.type = 'L';
            n.a = l;
            n.b = r;
            n.p1 = rel;
            n.p2 = type(l);
            l = add(n);
        }
    }

    uint32_t parse_sum() {
        uint32_t l = parse_prod();
        for (;;) {
            Tok k = cur().kind;
            if (k != Tok::Plus && k != Tok::Minus) return l;
            next();
            uint32_t r = parse_prod();
            const char tl = type(l), tr = type(r);
            if (k == Tok::Plus) {
                if (tl == 'N' && tr == 'N')
                    l = make(Op::Add, 'N', l, r);
                else if (tl == 'C' && tr == 'C')
                    l = make_text(Op::Concat, width(l) + width(r), node(l).fixed && node(r).fixed, l, r);
                else if (tl == 'D' && tr == 'N')
                    l = make(Op::DateAdd, 'D', l, r);
                else if (tl == 'N' && tr == 'D')
                    l = make(Op::DateAdd, 'D', r, l);
                else
                    fail(std::string("operator '+' cannot add ") + type_name(tl) + " and " + type_name(tr));
            } else {
                if (tl == 'N' && tr == 'N')
                    l = make(Op::Sub, 'N', l, r);
                else if (tl == 'C' && tr == 'C')
                    l = make_text(Op::ConcatTrim, width(l) + width(r), node(l).fixed && node(r).fixed, l, r);
                else if (tl == 'D' && tr == 'N')
                    l = make(Op::DateSub, 'D', l, r);
                else if (tl == 'D' && tr == 'D')
                    l = make(Op::DateDiff, 'N', l, r);
                else
                    fail(std::string("operator '-' cannot subtract ") + type_name(tr) + " from " + type_name(tl));
            }
        }
    }

    uint32_t parse_prod() {
        uint32_t l = parse_unary();
        for (;;) {
            Op op;
            switch (cur().kind) {
                case Tok::Star: op = Op::Mul; break;
                case Tok::Slash: op = Op::Div; break;
                case Tok::Percent: op = Op::Mod; break;
                default: return l;
            }
            const std::string name = describe(next());
            uint32_t r = parse_unary();
            need(l, 'N', "operator " + name);
            need(r, 'N', "operator " + name);
            l = make(op, 'N', l, r);
        }
    }

    uint32_t parse_unary() {
        Tok k = cur().kind;
        if (k == Tok::Minus || k == Tok::Plus) {
            Nest guard(*this);
            next();
            uint32_t a = parse_unary();
            need(a, 'N', k == Tok::Minus ? "unary '-'" : "unary '+'");
            if (k == Tok::Plus) return a;
            if (node(a).op == Op::LitN) return literal_number(-node(a).num);
            return make(Op::Neg, 'N', a);
        }
        return parse_power();
    }

    uint32_t parse_power() {
        uint32_t l = parse_primary();
        while (cur().kind == Tok::Power) {
            next();
            uint32_t r = parse_unary();
            need(l, 'N', "operator '^'");
            need(r, 'N', "operator '^'");
            l = make(Op::Pow, 'N', l, r);
        }
        return l;
    }

    uint32_t parse_primary() {
        const Token& t = cur();
        switch (t.kind) {
            case Tok::Number:
                next();
                return literal_number(t.num);
            case Tok::String: {
                next();
                bool lossy = false;
                std::string bytes = from_utf8(text_.substr(t.pos + 1, t.len - 2), cp_, &lossy);
                if (lossy) fail_at(t, "the text " + describe(t) + " has characters the code page cannot hold");
                return literal_text(std::move(bytes));
            }
            case Tok::True:
            case Tok::False: {
                next();
                Node n{};
                n.op = Op::LitL;
                n.type = 'L';
                n.p1 = t.kind == Tok::True;
                return add(n);
            }
            case Tok::Not:
                return parse_not();
            case Tok::LParen: {
                next();
                uint32_t e = parse_or();
                if (!accept(Tok::RParen)) fail_at(cur(), "missing ')' before " + describe(cur()));
                return e;
            }
            case Tok::Ident: {
                next();
                std::string_view name = text_.substr(t.pos, t.len);
                if (cur().kind == Tok::LParen) return parse_call(t, name);
                return field_ref(name);
            }
            default:
                fail_at(t, "unexpected " + describe(t));
        }
    }

    uint32_t field_ref(std::string_view name) {
        int k = find_field(fields_, name);
        const std::string up = upper_ascii(name);
        if (k < 0) fail("unknown field " + up);
        const Field& f = fields_[k];
        auto width_must_be = [&](int w) {
            if (f.len != w)
                fail("field " + up + " of type " + std::string(1, f.type) + " has width " +
                     std::to_string(f.len) + ", not " + std::to_string(w));
        };
        Node n{};
        n.p1 = static_cast<int32_t>(f.offset);
        switch (f.type) {
            case 'C':
                n.op = Op::FieldC;
                n.type = 'C';
                n.width = f.len;
                break;
            case 'N':
            case 'F':
                n.op = Op::FieldN;
                n.type = 'N';
                n.p2 = f.len;
                break;
            case 'I':
                width_must_be(4);
                n.op = Op::FieldI;
                n.type = 'N';
                break;
            case 'B':
            case 'Y':
                width_must_be(8);
                n.op = f.type == 'B' ? Op::FieldB : Op::FieldY;
                n.type = 'N';
                break;
            case 'D':
                width_must_be(8);
                n.op = Op::FieldD;
                n.type = 'D';
                break;
            case 'T':
                width_must_be(8);
                n.op = Op::FieldT;
                n.type = 'D';
                break;
            case 'L':
                width_must_be(1);
                n.op = Op::FieldL;
                n.type = 'L';
                break;
            case 'M':
                fail("memo field " + up + " cannot be used");
            default:
                fail("field " + up + " of type '" + std::string(1, f.type) + "' cannot be used");
        }
        return add(n);
    }

    const FnInfo& find_function(const Token& t, std::string_view name) {
        const std::string up = upper_ascii(name);
        for (const FnInfo& f : kFunctions)
            if (up == f.name) return f;
        // Names may be shortened to four letters or more, as long as only one function fits.
        const FnInfo* found = nullptr;
        if (up.size() >= 4) {
            for (const FnInfo& f : kFunctions) {
                if (std::string_view(f.name).substr(0, up.size()) != up) continue;
                if (found) fail_at(t, "function name " + up + "() is ambiguous");
                found = &f;
            }
        }
        if (!found) fail_at(t, "unknown function " + up + "()");
        return *found;
    }

    // A constant whole-number argument (widths, positions, decimals).
    int const_int(uint32_t a, const std::string& where) {
        if (type(a) != 'N' || !node(a).is_const) fail(where + " must be a constant number");
        double v;
        if (node(a).op == Op::LitN) {
            v = node(a).num;
        } else {
            std::vector<uint8_t> buf(static_cast<size_t>(assign_scratch(p_, a, 0)) + 1);
            v = eval_num(p_, a, Ctx{nullptr, buf.data()});
        }
        if (!(std::fabs(v) < 1e6)) fail(where + " is out of range");
        return static_cast<int>(std::trunc(v));
    }

    uint32_t parse_call(const Token& t, std::string_view name) {
        const FnInfo& f = find_function(t, name);
        const std::string fname = std::string(f.display) + "()";
        Nest guard(*this);
        next();  // '('
        std::vector<uint32_t> args;
        if (!accept(Tok::RParen)) {
            for (;;) {
                args.push_back(parse_or());
                if (accept(Tok::RParen)) break;
                if (!accept(Tok::Comma)) fail_at(cur(), "missing ')' or ',' before " + describe(cur()) + " in " + fname);
            }
        }
        const int argc = static_cast<int>(args.size());
        if (argc < f.min_args || argc > f.max_args) {
            std::string want = f.min_args == f.max_args
                                   ? std::to_string(f.min_args)
                                   : std::to_string(f.min_args) + " to " + std::to_string(f.max_args);
            fail(fname + " takes " + want + " argument" + (f.max_args == 1 ? "" : "s") + ", not " +
                 std::to_string(argc));
        }
        auto arg = [&](int k, char t) {
            need(args[k], t, fname + " argument " + std::to_string(k + 1));
            return args[k];
        };
        auto int_arg = [&](int k, const char* what) {
            return const_int(args[k], fname + " " + what + " (argument " + std::to_string(k + 1) + ")");
        };

        switch (f.fn) {
            case Fn::Str:
            case Fn::StrZero: {
                uint32_t a = arg(0, 'N');
                int w = argc > 1 ? int_arg(1, "width") : 10;
                int d = argc > 2 ? int_arg(2, "decimals") : 0;
                if (w < 1 || w > 255) fail(fname + " width must be 1 to 255, not " + std::to_string(w));
                if (d < 0 || d > 18) fail(fname + " decimals must be 0 to 18, not " + std::to_string(d));
                Node n{};
                n.op = f.fn == Fn::Str ? Op::Str : Op::StrZero;
                n.type = 'C';
                n.a = a;
                n.width = w;
                n.p2 = d;
                return add(n);
            }
            case Fn::DtoS: return make_text(Op::DtoS, 8, true, arg(0, 'D'));
            case Fn::Left: {
                uint32_t a = arg(0, 'C');
                return slice(a, 0, std::max(0, int_arg(1, "length")));
            }
            case Fn::Right: {
                uint32_t a = arg(0, 'C');
                int k = std::clamp(int_arg(1, "length"), 0, width(a));
                const Node& na = node(a);
                if (na.op == Op::FieldC || na.op == Op::LitC) return slice(a, width(a) - k, k);
                Node n{};
                n.op = Op::Right;
                n.type = 'C';
                n.a = a;
                n.width = k;
                n.fixed = na.fixed;
                return add(n);
            }
            case Fn::Substr: {
                uint32_t a = arg(0, 'C');
                int s = int_arg(1, "start");
                if (s < 1) fail(fname + " start must be 1 or more, not " + std::to_string(s));
                int count = argc > 2 ? std::max(0, int_arg(2, "length")) : width(a);
                return slice(a, s - 1, count);
            }
            case Fn::Upper: {
                uint32_t a = arg(0, 'C');
                if (node(a).op == Op::LitC) {
                    std::string s = p_.pool.substr(node(a).p1, width(a));
                    for (char& ch : s) ch = static_cast<char>(p_.upper[static_cast<uint8_t>(ch)]);
                    return literal_text(std::move(s));
                }
                return make_text(Op::Upper, width(a), node(a).fixed, a);
            }
            case Fn::Month: return make(Op::Month, 'N', arg(0, 'D'));
            case Fn::Day: return make(Op::Day, 'N', arg(0, 'D'));
            case Fn::Year: return make(Op::Year, 'N', arg(0, 'D'));
            case Fn::Val: return make(Op::Val, 'N', arg(0, 'C'));
            case Fn::Empty: return make(Op::Empty, 'L', args[0]);
            case Fn::Deleted: return make(Op::Deleted, 'L');
            case Fn::Trim:
            case Fn::RTrim: return make_text(Op::RTrim, width(arg(0, 'C')), false, args[0]);
            case Fn::LTrim: return make_text(Op::LTrim, width(arg(0, 'C')), false, args[0]);
            case Fn::AllTrim: return make_text(Op::AllTrim, width(arg(0, 'C')), false, args[0]);
            case Fn::Iif: {
                uint32_t cond = arg(0, 'L');
                const char tb = type(args[1]), tc = type(args[2]);
                if (tb != tc)
                    fail(fname + " branches must have the same type, not " + type_name(tb) + " and " +
                         type_name(tc));
                if (tb != 'C') return make(Op::Iif, tb, cond, args[1], args[2]);
                const Node& b = node(args[1]);
                const Node& c = node(args[2]);
                return make_text(Op::Iif, std::max(b.width, c.width),
                                 b.fixed && c.fixed && b.width == c.width, cond, args[1], args[2]);
            }
            case Fn::Int: return make(Op::Int, 'N', arg(0, 'N'));
            case Fn::Abs: return make(Op::Abs, 'N', arg(0, 'N'));
            case Fn::Round: {
                uint32_t a = arg(0, 'N');
                int d = int_arg(1, "decimals");
                if (d < -18 || d > 18) fail(fname + " decimals must be -18 to 18, not " + std::to_string(d));
                Node n{};
                n.op = Op::Round;
                n.type = 'N';
                n.a = a;
                n.p1 = d;
                return add(n);
            }
        }
        fail("unknown function " + fname);
    }
};

// ---- character keys as a list of pieces --------------------------------------------------
//
// A character key whose pieces all keep their width (no trimming) is a concatenation of
// pieces at fixed positions; the common pieces (a field, part of a field, a literal, a
// field's DtoS) are copied straight from the record. Adjacent fields become one copy.

struct Piece {
    enum Kind : uint8_t { Copy, Lit, UpperCopy, DtoSField, General } kind;
    uint32_t src;  // record offset (Copy, UpperCopy, DtoSField) or pool offset (Lit)
    uint32_t dst;
    uint32_t len;
    uint32_t node;  // General
};

void flatten(const Program& p, uint32_t i, uint32_t dst, std::vector<Piece>& out) {
    const Node& n = p.nodes[i];
    if (n.op == Op::Concat) {
        flatten(p, n.a, dst, out);
        flatten(p, n.b, dst + p.nodes[n.a].width, out);
        return;
    }
    if (n.width == 0) return;
    const uint32_t len = static_cast<uint32_t>(n.width);
    if (n.op == Op::FieldC) {
        const uint32_t src = static_cast<uint32_t>(n.p1);
        if (!out.empty() && out.back().kind == Piece::Copy && out.back().src + out.back().len == src &&
            out.back().dst + out.back().len == dst) {
            out.back().len += len;
            return;
        }
        out.push_back({Piece::Copy, src, dst, len, kNone});
    } else if (n.op == Op::LitC) {
        out.push_back({Piece::Lit, static_cast<uint32_t>(n.p1), dst, len, kNone});
    } else if (n.op == Op::Upper && p.nodes[n.a].op == Op::FieldC) {
        out.push_back({Piece::UpperCopy, static_cast<uint32_t>(p.nodes[n.a].p1), dst, len, kNone});
    } else if (n.op == Op::DtoS && p.nodes[n.a].op == Op::FieldD) {
        out.push_back({Piece::DtoSField, static_cast<uint32_t>(p.nodes[n.a].p1), dst, len, kNone});
    } else {
        out.push_back({Piece::General, 0, dst, len, i});
    }
}

void dtos_field(const uint8_t* src, uint8_t* out) {
    int y, m, d;
    if (parse_ymd8(src, y, m, d))
        std::memcpy(out, src, 8);
    else
        std::memset(out, ' ', 8);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// KeyExpr

struct KeyExpr::Impl {
    std::string source;
    Program prog;
    KeyType type = KeyType::Char;
    int length = 0;
    bool use_pieces = false;
    bool plain_copies = false;  // every piece is a Copy or a Lit
    std::vector<Piece> pieces;

    template <size_t N>
    void eval_general(const uint8_t* record, uint8_t* out) const {
        alignas(8) uint8_t scratch[N];
        const Ctx c{record, scratch};
        const uint8_t* pool = reinterpret_cast<const uint8_t*>(prog.pool.data());
        if (use_pieces) {
            for (const Piece& pc : pieces) {
                uint8_t* o = out + pc.dst;
                switch (pc.kind) {
                    case Piece::Copy: std::memcpy(o, record + pc.src, pc.len); break;
                    case Piece::Lit: std::memcpy(o, pool + pc.src, pc.len); break;
                    case Piece::UpperCopy:
                        for (uint32_t k = 0; k < pc.len; ++k) o[k] = prog.upper[record[pc.src + k]];
                        break;
                    case Piece::DtoSField: dtos_field(record + pc.src, o); break;
                    case Piece::General: eval_text(prog, pc.node, c, o); break;
                }
            }
            return;
        }
        switch (type) {
            case KeyType::Numeric: encode_numeric_key(eval_num(prog, prog.root, c), out); break;
            case KeyType::Date: encode_numeric_key(eval_date(prog, prog.root, c), out); break;
            default: {
                int l = eval_text(prog, prog.root, c, out);
                std::memset(out + l, ' ', length - l);
            }
        }
    }
};

KeyExpr::KeyExpr(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
KeyExpr::KeyExpr(KeyExpr&&) noexcept = default;
KeyExpr& KeyExpr::operator=(KeyExpr&&) noexcept = default;
KeyExpr::~KeyExpr() = default;

KeyExpr KeyExpr::compile(std::string_view text, const std::vector<Field>& fields, CodePage cp) {
    auto m = std::make_unique<Impl>();
    m->source = std::string(text);
    Parser parser(text, fields, cp, "key expression", m->prog);
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) parser.fail("nothing to index");
    parser.run();
    const Node& root = m->prog.nodes[m->prog.root];
    switch (root.type) {
        case 'C':
            m->type = KeyType::Char;
            m->length = root.width;
            if (m->length == 0) parser.fail("the key has no width");
            if (root.fixed) {
                m->use_pieces = true;
                flatten(m->prog, m->prog.root, 0, m->pieces);
                m->plain_copies = std::all_of(m->pieces.begin(), m->pieces.end(), [](const Piece& pc) {
                    return pc.kind == Piece::Copy || pc.kind == Piece::Lit;
                });
            }
            break;
        case 'N':
            m->type = KeyType::Numeric;
            m->length = 8;
            break;
        case 'D':
            m->type = KeyType::Date;
            m->length = 8;
            break;
        default:
            parser.fail("a key cannot be logical; it must be text, a number or a date");
    }
    return KeyExpr(std::move(m));
}

const std::string& KeyExpr::text() const { return impl_->source; }
KeyType KeyExpr::type() const { return impl_->type; }
int KeyExpr::length() const { return impl_->length; }

void KeyExpr::eval(const uint8_t* record, uint8_t* out) const {
    const Impl& m = *impl_;
    if (m.plain_copies) {
        const uint8_t* pool = reinterpret_cast<const uint8_t*>(m.prog.pool.data());
        for (const Piece& pc : m.pieces)
            std::memcpy(out + pc.dst, (pc.kind == Piece::Copy ? record : pool) + pc.src, pc.len);
        return;
    }
    if (m.prog.scratch <= kSmallScratch)
        m.eval_general<kSmallScratch>(record, out);
    else
        m.eval_general<kMaxScratch>(record, out);
}

// ---------------------------------------------------------------------------------------
// ForExpr

struct ForExpr::Impl {
    std::string source;
    Program prog;
    bool always = false;
};

namespace {

template <size_t N>
bool eval_condition(const Program& prog, const uint8_t* record) {
    alignas(8) uint8_t scratch[N];
    return eval_logic(prog, prog.root, Ctx{record, scratch});
}

}  // namespace

ForExpr::ForExpr(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ForExpr::ForExpr(ForExpr&&) noexcept = default;
ForExpr& ForExpr::operator=(ForExpr&&) noexcept = default;
ForExpr::~ForExpr() = default;

ForExpr ForExpr::compile(std::string_view text, const std::vector<Field>& fields, CodePage cp) {
    auto m = std::make_unique<Impl>();
    m->source = std::string(text);
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        m->always = true;
        return ForExpr(std::move(m));
    }
    Parser parser(text, fields, cp, "FOR condition", m->prog);
    parser.run();
    if (m->prog.nodes[m->prog.root].type != 'L')
        parser.fail(std::string("a condition must be logical, not ") +
                    type_name(m->prog.nodes[m->prog.root].type));
    return ForExpr(std::move(m));
}

const std::string& ForExpr::text() const { return impl_->source; }
bool ForExpr::always_true() const { return impl_->always; }

bool ForExpr::eval(const uint8_t* record) const {
    const Impl& m = *impl_;
    if (m.always) return true;
    if (m.prog.scratch <= kSmallScratch) return eval_condition<kSmallScratch>(m.prog, record);
    return eval_condition<kMaxScratch>(m.prog, record);
}

}  // namespace xbase
