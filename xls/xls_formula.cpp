// The formula encoder: infix formula text -> BIFF2 parsed-expression tokens (reverse
// Polish). "^" binds tightest, then "*" "/", then "+" "-", left-associative within a level.
// A sign binds to the operand right after it: folded into a number constant, or a unary
// token after a parenthesised group or a spreadsheet function.
#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <cstring>

#include "xls/xls_writer.hpp"

namespace xls {

namespace {

constexpr int kMaxDepth = 48;  // nested groups and function calls

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_ident_start(char c) { return is_letter(c) || c == '_'; }
bool is_ident_char(char c) { return is_ident_start(c) || is_digit(c); }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
std::string upper(std::string_view s) {
    std::string u(s);
    for (char& c : u) c = upper(c);
    return u;
}

[[noreturn]] void syntax(std::string_view what) { throw XlsError(kSyntax, fmt::format("\r\n{}", what)); }

// The text without blanks outside quoted texts.
std::string strip_blanks(std::string_view s) {
    std::string out;
    char quote = 0;
    for (char c : s) {
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            continue;
        }
        out.push_back(c);
    }
    return out;
}

// Index of the ")" matching the "(" at `open`, skipping quoted texts; npos when unmatched.
size_t matching_paren(std::string_view s, size_t open) {
    int depth = 0;
    char quote = 0;
    for (size_t i = open; i < s.size(); ++i) {
        char c = s[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0) return i;
        }
    }
    return std::string_view::npos;
}

enum class Kind { Area, Cell, Plain };

struct XlsFunction {
    const char* name;
    Kind kind;
    int min_args, max_args;
    uint8_t code;  // function number for Plain
};

constexpr XlsFunction kFunctions[] = {
    {"_CELL", Kind::Cell, 2, 4, 0},        {"_SUM", Kind::Area, 4, 8, 0},   {"_MULT", Kind::Area, 4, 8, 0xB7},
    {"_ABS", Kind::Plain, 1, 1, 0x18},     {"_INTE", Kind::Plain, 1, 1, 0x19}, {"_MOD", Kind::Plain, 2, 2, 0x27},
    {"_ROUND", Kind::Plain, 2, 2, 0x1B},   {"_SIGN", Kind::Plain, 1, 1, 0x1A}, {"_SQRT", Kind::Plain, 1, 1, 0x14},
    {"_EXP", Kind::Plain, 1, 1, 0x15},     {"_LN", Kind::Plain, 1, 1, 0x16},  {"_LOG", Kind::Plain, 1, 1, 0x17},
    {"_PI", Kind::Plain, 0, 0, 0x13},      {"_RANDOM", Kind::Plain, 0, 0, 0x3F}, {"_SIN", Kind::Plain, 1, 1, 0x0F},
    {"_COS", Kind::Plain, 1, 1, 0x10},     {"_TAN", Kind::Plain, 1, 1, 0x11}, {"_ASIN", Kind::Plain, 1, 1, 0x62},
    {"_ACOS", Kind::Plain, 1, 1, 0x63},    {"_ATAN", Kind::Plain, 1, 1, 0x12},
};

const XlsFunction* find_function(std::string_view upper_name) {
    for (const XlsFunction& f : kFunctions)
        if (upper_name == f.name) return &f;
    return nullptr;
}

// The program expression with every spreadsheet-function call replaced by 1: those names
// are program functions returning 1 while an expression of the encoder is evaluated.
std::string replace_xls_calls(std::string_view s, int depth) {
    if (depth > kMaxDepth) syntax(s);
    std::string out;
    char quote = 0;
    for (size_t i = 0; i < s.size();) {
        char c = s[i];
        if (quote) {
            if (c == quote) quote = 0;
            out.push_back(c);
            ++i;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
            out.push_back(c);
            ++i;
            continue;
        }
        bool starts_name = is_ident_start(c) && (i == 0 || !is_ident_char(s[i - 1]));
        if (starts_name) {
            size_t j = i;
            while (j < s.size() && is_ident_char(s[j])) ++j;
            std::string_view name = s.substr(i, j - i);
            if (c == '_' && j < s.size() && s[j] == '(') {
                if (!find_function(upper(name))) throw XlsError(kUndefinedFunction, fmt::format("\r\nFunction: {}", name));
                size_t close = matching_paren(s, j);
                if (close == std::string_view::npos) syntax("(");
                out += "(1)";
                i = close + 1;
                continue;
            }
            out.append(name);
            i = j;
            continue;
        }
        out.push_back(c);
        ++i;
    }
    return out;
}

// The numeric value of a program expression (the formula language); `shown` is the text
// reported when it fails.
double program_number(std::string_view expr, const FormulaEnv& env, std::string_view shown, int depth) {
    if (depth > kMaxDepth) syntax(shown);
    std::string text = replace_xls_calls(expr, depth);
    fo::Value v;
    std::string result_text;  // a text result points into the program: copied while it lives
    try {
        fo::Program p = fo::compile(text, env.names);
        if (p.empty()) syntax(shown);
        v = p.evaluate_value(env.env);
        if (v.type == fo::Type::Text) result_text = std::string(v.text_view());
    } catch (const fo::SyntaxError&) {
        syntax(shown);
    } catch (const fo::EvalError&) {
        syntax(shown);
    }
    if (v.type == fo::Type::Number) return v.number;
    if (v.type == fo::Type::Logical) return v.logical ? 1 : 0;
    // A text result is itself evaluated as the operand's value.
    if (v.type == fo::Type::Text) return program_number(result_text, env, shown, depth + 1);
    syntax(shown);
}

void put_u16(std::string& out, unsigned v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void put_constant(std::string& out, double x) {
    if (x >= 0 && x <= 65535 && x == std::floor(x)) {
        out.push_back(0x1E);
        put_u16(out, static_cast<unsigned>(x));
    } else {
        out.push_back(0x1F);
        uint64_t bits;
        std::memcpy(&bits, &x, sizeof bits);
        for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>(bits >> (8 * i)));
    }
}

// A reference argument: a whole number within `limit` (1-based).
int reference(double x, int limit, std::string_view call) {
    if (!(x >= 1 && x <= limit && x == std::floor(x)))
        throw XlsError(kOutsideSheet, fmt::format("\r\n{}", call));
    return static_cast<int>(x);
}

std::string encode_function_at(std::string_view call, const FormulaEnv& env, int depth);

class Encoder {
public:
    Encoder(std::string_view text, const FormulaEnv& env, int depth) : s_(text), env_(env), depth_(depth) {}

    std::string run() {
        if (depth_ > kMaxDepth) syntax(s_);
        if (s_.empty()) syntax("");
        expr();
        if (i_ < s_.size()) syntax(s_.substr(i_, 1));
        return std::move(out_);
    }

private:
    char peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }

    void expr() {
        term();
        while (peek() == '+' || peek() == '-') {
            char op = s_[i_++];
            term();
            out_.push_back(op == '+' ? 0x03 : 0x04);
        }
    }
    void term() {
        power();
        while (peek() == '*' || peek() == '/') {
            char op = s_[i_++];
            power();
            out_.push_back(op == '*' ? 0x05 : 0x06);
        }
    }
    void power() {
        unary();
        while (peek() == '^') {
            ++i_;
            unary();
            out_.push_back(0x07);
        }
    }
    void unary() {
        bool has_sign = false, negative = false;
        while (peek() == '+' || peek() == '-') {
            has_sign = true;
            if (s_[i_] == '-') negative = !negative;
            ++i_;
        }
        if (i_ >= s_.size()) syntax(s_.substr(s_.empty() ? 0 : s_.size() - 1));
        char c = s_[i_];
        if (c == '(') {
            ++i_;
            if (++nesting_ > kMaxDepth) syntax("(");
            expr();
            --nesting_;
            if (peek() != ')') {
                if (i_ >= s_.size()) syntax("(");
                syntax(s_.substr(i_, 1));
            }
            ++i_;
            out_.push_back(0x15);
            sign_token(has_sign, negative);
            return;
        }
        if (is_digit(c) || c == '.') {
            size_t start = i_;
            while (i_ < s_.size() && (is_digit(s_[i_]) || s_[i_] == '.')) ++i_;
            std::string_view num = s_.substr(start, i_ - start);
            double x = 0;
            auto r = std::from_chars(num.data(), num.data() + num.size(), x);
            if (r.ec != std::errc() || r.ptr != num.data() + num.size() || !std::isfinite(x)) syntax(num);
            put_constant(out_, negative ? -x : x);
            return;
        }
        if (is_ident_start(c)) {
            size_t start = i_;
            while (i_ < s_.size() && is_ident_char(s_[i_])) ++i_;
            std::string_view name = s_.substr(start, i_ - start);
            if (peek() == '(') {
                size_t close = matching_paren(s_, i_);
                if (close == std::string_view::npos) syntax("(");
                std::string_view call = s_.substr(start, close + 1 - start);
                i_ = close + 1;
                if (name[0] == '_') {
                    out_ += encode_function_at(call, env_, depth_ + 1);
                    sign_token(has_sign, negative);
                } else {
                    double x = program_number(call, env_, call, depth_ + 1);
                    put_constant(out_, negative ? -x : x);
                }
                return;
            }
            std::string up = upper(name);
            int slot = env_.names.find(up);
            fo::Value v = slot < 0 ? fo::Value{} : env_.env.get(slot);
            if (v.type != fo::Type::Number) syntax(up);
            put_constant(out_, negative ? -v.number : v.number);
            return;
        }
        syntax(s_.substr(i_, 1));
    }

    void sign_token(bool has_sign, bool negative) {
        if (has_sign) out_.push_back(negative ? 0x13 : 0x12);
    }

    std::string_view s_;
    const FormulaEnv& env_;
    int depth_;
    size_t i_ = 0;
    int nesting_ = 0;
    std::string out_;
};

std::string encode_formula_at(std::string_view text, const FormulaEnv& env, int depth) {
    return Encoder(strip_blanks(text), env, depth).run();
}

// Splits "NAME(a;b;c)" (or with ",") into the name and the argument texts at the call's own level.
void split_call(std::string_view call, std::string_view& name, std::vector<std::string_view>& args) {
    size_t open = call.find('(');
    if (open == std::string_view::npos) syntax(call);
    size_t close = matching_paren(call, open);
    if (close == std::string_view::npos) syntax("(");
    if (close + 1 != call.size()) syntax(call.substr(close + 1, 1));
    name = call.substr(0, open);
    std::string_view inner = call.substr(open + 1, close - open - 1);
    args.clear();
    if (inner.empty()) return;
    int depth = 0;
    char quote = 0;
    size_t start = 0;
    for (size_t i = 0; i < inner.size(); ++i) {
        char c = inner[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if ((c == ';' || c == ',') && depth == 0) {
            args.push_back(inner.substr(start, i - start));
            start = i + 1;
        }
    }
    args.push_back(inner.substr(start));
}

std::string encode_function_at(std::string_view call_text, const FormulaEnv& env, int depth) {
    if (depth > kMaxDepth) syntax(call_text);
    std::string call = strip_blanks(call_text);
    std::string_view name;
    std::vector<std::string_view> args;
    split_call(call, name, args);
    const XlsFunction* f = find_function(upper(name));
    if (!f) throw XlsError(kUndefinedFunction, fmt::format("\r\nFunction: {}", name));
    if (static_cast<int>(args.size()) < f->min_args || static_cast<int>(args.size()) > f->max_args) syntax(call);
    for (std::string_view a : args)
        if (a.empty()) syntax(call);

    std::string out;
    if (f->kind == Kind::Plain) {
        for (std::string_view a : args) out += encode_formula_at(a, env, depth + 1);
        out.push_back(0x41);
        out.push_back(static_cast<char>(f->code));
        return out;
    }
    std::vector<double> v;
    for (std::string_view a : args) v.push_back(program_number(a, env, call, depth + 1));
    auto flag = [&](size_t i) { return i < v.size() && v[i] != 0; };  // absolute when true
    auto row_field = [&](double row, size_t abs_row, size_t abs_col) {
        unsigned r = static_cast<unsigned>(reference(row, 16384, call) - 1);
        if (!flag(abs_row)) r |= 0x8000;
        if (!flag(abs_col)) r |= 0x4000;
        return r;
    };
    if (f->kind == Kind::Cell) {
        out.push_back(0x44);
        put_u16(out, row_field(v[0], 2, 3));
        out.push_back(static_cast<char>(reference(v[1], 256, call) - 1));
        return out;
    }
    out.push_back(0x25);
    put_u16(out, row_field(v[0], 4, 5));
    put_u16(out, row_field(v[2], 6, 7));
    out.push_back(static_cast<char>(reference(v[1], 256, call) - 1));
    out.push_back(static_cast<char>(reference(v[3], 256, call) - 1));
    if (f->code == 0) {
        out += std::string("\x19\x10\x00", 3);  // sum attribute
    } else {
        out.push_back(0x42);  // variable-argument function, one argument
        out.push_back(0x01);
        out.push_back(static_cast<char>(f->code));
    }
    return out;
}

}  // namespace

std::string encode_formula(std::string_view text, const FormulaEnv& env) { return encode_formula_at(text, env, 0); }

std::string encode_function(std::string_view call, const FormulaEnv& env) { return encode_function_at(call, env, 0); }

}  // namespace xls
