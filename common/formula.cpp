// Formula compiler: lexer, recursive-descent parser emitting stack code, the name tables,
// the environment, and the advisory token scan.
#include "common/formula.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "common/formula_ops.hpp"

namespace common::formula {

using detail::Instr;
using detail::Op;

namespace {

constexpr uint32_t kMaxStack = 256;  // evaluation stack of every program
constexpr int kMaxNesting = 64;      // nested parentheses, calls, signs and .NOT.

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && is_blank(s[b])) ++b;
    while (e > b && is_blank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

std::string upper(std::string_view s) {
    std::string u(s);
    for (char& c : u)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return u;
}

bool starts_with_upper(std::string_view word, std::string_view upper_prefix) {
    if (upper_prefix.size() > word.size()) return false;
    for (size_t i = 0; i < upper_prefix.size(); ++i) {
        char c = word[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != upper_prefix[i]) return false;
    }
    return true;
}

bool is_alpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_name_char(char c) { return is_alpha(c) || is_digit(c) || c == '_'; }

// 1-based character (not byte) position of a byte offset in UTF-8 text.
size_t char_position(std::string_view text, size_t offset) {
    size_t n = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++n;
    return n;
}

// Byte length of the UTF-8 character starting at text[i] (1 for a stray byte).
size_t char_length(std::string_view text, size_t i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    size_t k = 1;
    while (k < n && i + k < text.size() && (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80) ++k;
    return k;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Errors, types, names, environment

SyntaxError::SyntaxError(size_t position, std::string token, const std::string& reason)
    : std::runtime_error(token.empty()
                             ? fmt::format("Error de sintaxis en la posición {}: {}", position, reason)
                             : fmt::format("Error de sintaxis en la posición {}: {} \"{}\"", position, reason, token)),
      position_(position),
      token_(std::move(token)),
      reason_(reason) {}

const char* type_name(Type t) {
    switch (t) {
        case Type::Number: return "número";
        case Type::Date: return "fecha";
        case Type::Logical: return "lógico";
        case Type::Text: return "texto";
        case Type::Array: return "arreglo";
        case Type::Undefined: break;
    }
    return "indefinido";
}

int Names::add(std::string_view name) {
    std::string key = upper(name);
    auto it = map_.find(key);
    if (it != map_.end()) return it->second;
    int slot = static_cast<int>(slot_names_.size());
    slot_names_.push_back(key);
    map_.emplace(std::move(key), slot);
    return slot;
}

void Names::add_synonym(std::string_view name, int slot) { map_[upper(name)] = slot; }

int Names::find(std::string_view name) const {
    auto it = map_.find(upper(name));
    return it == map_.end() ? -1 : it->second;
}

const std::array<std::string_view, 31>& reserved_words() {
    static const std::array<std::string_view, 31> words = {
        "ROUND",    "IF",        "OR",        "AND",       "NOT",       "SWAFP",  "MAX",     "INT",
        "MIN",      "ABS",       "SWCLAPLA",  "XPLCODEMP", "XSEMMES",   "SWCATEGO", "SWCTOCTO", "DAY",
        "MONTH",    "YEAR",      "DATE",      "VALTAB",    "BUSCAT",    "CFECREP", "SWCONDIC", "XPLINIVAC",
        "XPLDIAVAC", "XPLFECING", "XPLFECNAC", "0",        "DIASNETO",  "MENFAC",  "APOMINESA"};
    return words;
}

Names standard_names() {
    static const char* const names[kStdCount] = {
        "SWAFP",     "SWCLAPLA",  "XPLCODEMP", "XSEMMES",   "SWCATEGO",  "SWCTOCTO",  "CFECREP",
        "SWCONDIC",  "XPLINIVAC", "XPLDIAVAC", "XPLFECING", "XPLFECNAC", "DIASNETO",  "APOMINESA",
        "XPLAPELLI", "XPLNOMBRE", "XPLCODAFP", "XPLCTOCTO", "XPLCODREF", "XPLCONDIC", "XPLCATEGO",
        "XPLACTIVI", "XPLMOVAFP", "XPLFECAFP", "XPLFECRET", "CMESCES",   "XPLLIBELE", "XPLNUMSPP",
        "XPLPERPAG", "XMESPRO",   "XANOPRO"};
    Names n;
    for (const char* name : names) n.add(name);
    n.add_synonym("CFECRET", XPLFECRET);
    n.add_synonym("XPERPAG", XPLPERPAG);
    n.add_synonym("CMESPRO", XMESPRO);
    return n;
}

void Env::resize(size_t slots) {
    slots_.resize(slots);
    if (texts_.size() > slots) texts_.resize(slots);
    if (arrays_.size() > slots) arrays_.resize(slots);
}

void Env::set_text(int slot, std::string_view s) {
    size_t i = static_cast<size_t>(slot);
    if (texts_.size() <= i) texts_.resize(slots_.size());
    texts_[i].assign(s);
    Value v{};
    v.type = Type::Text;
    v.len = static_cast<uint32_t>(s.size());
    slots_[i] = v;  // the text pointer is taken when the slot is read
}

void Env::set_array(int slot, std::span<const double> items) {
    size_t i = static_cast<size_t>(slot);
    if (arrays_.size() <= i) arrays_.resize(slots_.size());
    arrays_[i].assign(items.begin(), items.end());
    Value v{};
    v.type = Type::Array;
    v.len = static_cast<uint32_t>(items.size());
    slots_[i] = v;
}

std::span<const double> Env::array(int slot) const {
    size_t i = static_cast<size_t>(slot);
    if (slot < 0 || i >= slots_.size() || slots_[i].type != Type::Array) return {};
    return arrays_[i];
}

double val(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
    size_t start = i;
    bool digits = false;
    while (i < s.size() && is_digit(s[i])) ++i, digits = true;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && is_digit(s[i])) ++i, digits = true;
    }
    if (!digits) return 0.0;
    std::string part(s.substr(start, i - start));
    double x = std::strtod(part.c_str(), nullptr);  // overflow gives HUGE_VAL
    return neg ? -x : x;
}

std::vector<std::string> token_check(std::string_view text, const std::vector<std::string>& aliases) {
    static constexpr std::string_view kSeparators = "<>*+-)( /.,=";
    std::vector<std::string> unknown;
    std::string_view f = trim(text);
    auto check = [&](std::string_view token) {
        if (token.empty()) return;
        std::string up = upper(token);
        for (std::string_view w : reserved_words())
            if (starts_with_upper(w, up)) return;
        if (val(token) > 0) return;
        for (const std::string& a : aliases)
            if (starts_with_upper(a, up)) return;
        unknown.emplace_back(token);
    };
    size_t start = 0;
    for (size_t i = 0; i < f.size(); ++i) {
        if (kSeparators.find(f[i]) != std::string_view::npos) {
            check(f.substr(start, i - start));
            start = i + 1;
        }
    }
    check(f.substr(start));
    return unknown;
}

// ---------------------------------------------------------------------------------------
// Compiler

namespace {

enum class Tk : uint8_t {
    End, Num, Text, Name, True, False, And, Or, Not, LParen, RParen, LBracket, RBracket, Comma,
    Plus, Minus, Star, Slash, Caret, Eq, EqEq, Ne, Lt, Le, Gt, Ge,
};

struct Token {
    Tk kind;
    uint32_t pos;  // byte offset in the trimmed text
    uint32_t len;
    double num;
};

struct Builtin {
    const char* name;
    Op op;
    int args;  // -1: IF
};

constexpr Builtin kBuiltins[] = {
    {"ROUND", Op::Round, 2}, {"IF", Op::Jump, 3},    {"MAX", Op::Max, 2},     {"MIN", Op::Min, 2},
    {"INT", Op::Int, 1},     {"ABS", Op::Abs, 1},    {"DAY", Op::Day, 1},     {"MONTH", Op::Month, 1},
    {"YEAR", Op::Year, 1},   {"DATE", Op::Today, 0},
};

}  // namespace

class Compiler {
public:
    Compiler(std::string_view text, const Names& names, Program& p) : text_(text), names_(names), p_(p) {}

    void run() {
        lex();
        parse_or();
        if (tok().kind != Tk::End) error(tok(), "sobra");
        emit(Op::End, 0, 0.0, 0, static_cast<uint32_t>(text_.size()));
        p_.max_stack_ = static_cast<uint32_t>(max_depth_);
    }

private:
    // --- lexer -------------------------------------------------------------------------
    [[noreturn]] void error_at(size_t offset, size_t len, const std::string& reason) {
        throw SyntaxError(char_position(text_, offset), std::string(text_.substr(offset, len)), reason);
    }
    [[noreturn]] void error(const Token& t, const std::string& reason) {
        if (t.kind == Tk::End) throw SyntaxError(char_position(text_, t.pos), "", reason + " al final de la fórmula");
        error_at(t.pos, t.len, reason);
    }

    void add(Tk k, size_t pos, size_t len, double num = 0.0) {
        toks_.push_back({k, static_cast<uint32_t>(pos), static_cast<uint32_t>(len), num});
    }

    void lex() {
        const std::string_view s = text_;
        size_t i = 0;
        while (i < s.size()) {
            char c = s[i];
            if (is_blank(c)) {
                ++i;
                continue;
            }
            size_t start = i;
            if (is_digit(c) || (c == '.' && i + 1 < s.size() && is_digit(s[i + 1]))) {
                while (i < s.size() && is_digit(s[i])) ++i;
                // A point is a decimal point only when a digit follows: 1>0.AND.2>1
                if (i + 1 < s.size() && s[i] == '.' && is_digit(s[i + 1])) {
                    ++i;
                    while (i < s.size() && is_digit(s[i])) ++i;
                }
                double x = 0.0;
                auto r = std::from_chars(s.data() + start, s.data() + i, x);
                if (r.ec != std::errc()) error_at(start, i - start, "número fuera de rango");
                add(Tk::Num, start, i - start, x);
                continue;
            }
            if (is_alpha(c)) {
                while (i < s.size() && is_name_char(s[i])) ++i;
                add(Tk::Name, start, i - start);
                continue;
            }
            if (c == '"' || c == '\'') {
                size_t close = s.find(c, i + 1);
                if (close == std::string_view::npos) error_at(start, s.size() - start, "texto sin cerrar");
                add(Tk::Text, start, close + 1 - start);
                i = close + 1;
                continue;
            }
            if (c == '.') {
                size_t j = i + 1;
                while (j < s.size() && is_alpha(s[j])) ++j;
                if (j < s.size() && s[j] == '.' && j > i + 1) {
                    std::string w = upper(s.substr(i + 1, j - i - 1));
                    Tk k = w == "T" ? Tk::True : w == "F" ? Tk::False : w == "AND" ? Tk::And
                         : w == "OR" ? Tk::Or : w == "NOT" ? Tk::Not : Tk::End;
                    if (k == Tk::End) error_at(start, j + 1 - start, "operador no válido");
                    add(k, start, j + 1 - start);
                    i = j + 1;
                    continue;
                }
                error_at(start, 1, "operador no válido");
            }
            auto next_is = [&](char n) { return i + 1 < s.size() && s[i + 1] == n; };
            Tk k = Tk::End;
            size_t len = 1;
            switch (c) {
                case '(': k = Tk::LParen; break;
                case ')': k = Tk::RParen; break;
                case '[': k = Tk::LBracket; break;
                case ']': k = Tk::RBracket; break;
                case ',': k = Tk::Comma; break;
                case '+': k = Tk::Plus; break;
                case '-': k = Tk::Minus; break;
                case '/': k = Tk::Slash; break;
                case '^': k = Tk::Caret; break;
                case '#': k = Tk::Ne; break;
                case '*':
                    if (next_is('*')) k = Tk::Caret, len = 2;
                    else k = Tk::Star;
                    break;
                case '=':
                    if (next_is('=')) k = Tk::EqEq, len = 2;
                    else k = Tk::Eq;
                    break;
                case '!':
                    if (next_is('=')) k = Tk::Ne, len = 2;
                    break;
                case '<':
                    if (next_is('=')) k = Tk::Le, len = 2;
                    else if (next_is('>')) k = Tk::Ne, len = 2;
                    else k = Tk::Lt;
                    break;
                case '>':
                    if (next_is('=')) k = Tk::Ge, len = 2;
                    else k = Tk::Gt;
                    break;
                default: break;
            }
            if (k == Tk::End) error_at(start, char_length(s, start), "operador no válido");
            add(k, start, len);
            i += len;
        }
        add(Tk::End, s.size(), 0);
    }

    // --- code emission -----------------------------------------------------------------
    const Token& tok() const { return toks_[cur_]; }
    bool accept(Tk k) {
        if (toks_[cur_].kind != k) return false;
        last_end_ = toks_[cur_].pos + toks_[cur_].len;
        ++cur_;
        return true;
    }
    void expect(Tk k, const char* what) {
        if (!accept(k)) error(tok(), fmt::format("se esperaba {}", what));
    }

    static int stack_effect(Op op) {
        switch (op) {
            case Op::Num: case Op::True: case Op::False: case Op::Text: case Op::Load: case Op::Undef:
            case Op::Today: case Op::UndefFunc:
                return 1;
            case Op::Add: case Op::Sub: case Op::Mul: case Op::Div: case Op::Pow: case Op::Eq:
            case Op::EqExact: case Op::Ne: case Op::Lt: case Op::Le: case Op::Gt: case Op::Ge:
            case Op::OrJump: case Op::AndJump: case Op::IfFalse: case Op::Round: case Op::Max:
            case Op::Min:
                return -1;
            default:
                return 0;
        }
    }

    size_t emit(Op op, uint32_t a, double num, uint32_t from, uint32_t to) {
        p_.code_.push_back(Instr{op, a, num});
        p_.spans_.push_back({from, to - from});
        depth_ += stack_effect(op);
        if (depth_ > max_depth_) max_depth_ = depth_;
        if (max_depth_ > static_cast<int>(kMaxStack)) error_at(from, to - from, "fórmula demasiado compleja");
        return p_.code_.size() - 1;
    }
    void patch(size_t at) { p_.code_[at].a = static_cast<uint32_t>(p_.code_.size()); }
    uint32_t string_index(std::string s) {
        p_.strings_.push_back(std::move(s));
        return static_cast<uint32_t>(p_.strings_.size() - 1);
    }

    struct Nest {
        Compiler& c;
        explicit Nest(Compiler& c_, const Token& t) : c(c_) {
            if (++c.nesting_ > kMaxNesting) c.error(t, "fórmula demasiado anidada");
        }
        ~Nest() { --c.nesting_; }
    };

    // --- grammar: each level returns the byte offset where its expression starts -------
    uint32_t parse_or() {
        uint32_t from = parse_and();
        while (tok().kind == Tk::Or) {
            size_t j = emit(Op::OrJump, 0, 0.0, from, last_end_);
            accept(Tk::Or);
            parse_and();
            emit(Op::CheckLogical, 1, 0.0, from, last_end_);
            patch(j);
        }
        return from;
    }
    uint32_t parse_and() {
        uint32_t from = parse_not();
        while (tok().kind == Tk::And) {
            size_t j = emit(Op::AndJump, 0, 0.0, from, last_end_);
            accept(Tk::And);
            parse_not();
            emit(Op::CheckLogical, 0, 0.0, from, last_end_);
            patch(j);
        }
        return from;
    }
    uint32_t parse_not() {
        if (tok().kind == Tk::Not) {
            Nest n(*this, tok());
            uint32_t from = tok().pos;
            accept(Tk::Not);
            parse_not();
            emit(Op::Not, 0, 0.0, from, last_end_);
            return from;
        }
        return parse_cmp();
    }
    uint32_t parse_cmp() {
        uint32_t from = parse_add();
        for (;;) {
            Op op;
            switch (tok().kind) {
                case Tk::Eq: op = Op::Eq; break;
                case Tk::EqEq: op = Op::EqExact; break;
                case Tk::Ne: op = Op::Ne; break;
                case Tk::Lt: op = Op::Lt; break;
                case Tk::Le: op = Op::Le; break;
                case Tk::Gt: op = Op::Gt; break;
                case Tk::Ge: op = Op::Ge; break;
                default: return from;
            }
            accept(tok().kind);
            parse_add();
            emit(op, 0, 0.0, from, last_end_);
        }
    }
    uint32_t parse_add() {
        uint32_t from = parse_mul();
        for (;;) {
            Op op;
            if (tok().kind == Tk::Plus) op = Op::Add;
            else if (tok().kind == Tk::Minus) op = Op::Sub;
            else return from;
            accept(tok().kind);
            parse_mul();
            emit(op, 0, 0.0, from, last_end_);
        }
    }
    uint32_t parse_mul() {
        uint32_t from = parse_pow();
        for (;;) {
            Op op;
            if (tok().kind == Tk::Star) op = Op::Mul;
            else if (tok().kind == Tk::Slash) op = Op::Div;
            else return from;
            accept(tok().kind);
            parse_pow();
            emit(op, 0, 0.0, from, last_end_);
        }
    }
    uint32_t parse_pow() {
        uint32_t from = parse_unary();
        while (tok().kind == Tk::Caret) {
            accept(Tk::Caret);
            parse_unary();
            emit(Op::Pow, 0, 0.0, from, last_end_);
        }
        return from;
    }
    uint32_t parse_unary() {
        Tk k = tok().kind;
        if (k == Tk::Minus || k == Tk::Plus) {
            Nest n(*this, tok());
            uint32_t from = tok().pos;
            accept(k);
            parse_unary();
            emit(k == Tk::Minus ? Op::Neg : Op::Pos, 0, 0.0, from, last_end_);
            return from;
        }
        return parse_primary();
    }

    uint32_t parse_primary() {
        const Token t = tok();
        switch (t.kind) {
            case Tk::Num:
                accept(Tk::Num);
                emit(Op::Num, 0, t.num, t.pos, last_end_);
                return t.pos;
            case Tk::True:
            case Tk::False:
                accept(t.kind);
                emit(t.kind == Tk::True ? Op::True : Op::False, 0, 0.0, t.pos, last_end_);
                return t.pos;
            case Tk::Text: {
                accept(Tk::Text);
                uint32_t s = string_index(std::string(text_.substr(t.pos + 1, t.len - 2)));
                emit(Op::Text, s, 0.0, t.pos, last_end_);
                return t.pos;
            }
            case Tk::LParen: {
                Nest n(*this, t);
                accept(Tk::LParen);
                parse_or();
                expect(Tk::RParen, "\")\"");
                return t.pos;
            }
            case Tk::Name: return parse_name(t);
            default: error(t, "se esperaba un valor");
        }
    }

    uint32_t parse_name(const Token t) {
        accept(Tk::Name);
        std::string name = upper(text_.substr(t.pos, t.len));
        if (tok().kind == Tk::LParen) return parse_call(t, name);
        if (tok().kind == Tk::LBracket) {
            Nest n(*this, tok());
            accept(Tk::LBracket);
            int slot = names_.find(name);
            size_t mark = p_.code_.size();
            int depth = depth_;
            parse_or();
            expect(Tk::RBracket, "\"]\"");
            if (slot < 0) {
                // Not a known name: the subscript is never evaluated.
                discard(mark, depth);
                emit(Op::Undef, string_index(name), 0.0, t.pos, last_end_);
            } else {
                emit(Op::Index, static_cast<uint32_t>(slot), 0.0, t.pos, last_end_);
                p_.code_.back().num = string_index(name);  // name index for messages
            }
            return t.pos;
        }
        int slot = names_.find(name);
        if (slot < 0) emit(Op::Undef, string_index(name), 0.0, t.pos, last_end_);
        else emit(Op::Load, static_cast<uint32_t>(slot), 0.0, t.pos, last_end_);
        return t.pos;
    }

    void discard(size_t mark, int depth) {
        p_.code_.resize(mark);
        p_.spans_.resize(mark);
        depth_ = depth;
    }

    uint32_t parse_call(const Token t, const std::string& name) {
        Nest n(*this, tok());
        accept(Tk::LParen);
        const Builtin* b = nullptr;
        for (const Builtin& x : kBuiltins)
            if (name == x.name) b = &x;
        size_t mark = p_.code_.size();
        int depth = depth_;
        int args = 0;
        if (b && b->args == 3) {  // IF(c, a, b): only the chosen branch runs
            uint32_t cond = parse_or();
            size_t jf = emit(Op::IfFalse, 0, 0.0, cond, last_end_);
            expect(Tk::Comma, "\",\"");
            parse_or();
            expect(Tk::Comma, "\",\"");
            size_t je = emit(Op::Jump, 0, 0.0, t.pos, last_end_);
            patch(jf);
            depth_ = depth;
            parse_or();
            expect(Tk::RParen, "\")\"");
            patch(je);
            return t.pos;
        }
        if (tok().kind != Tk::RParen) {
            for (;;) {
                parse_or();
                ++args;
                if (!accept(Tk::Comma)) break;
            }
        }
        expect(Tk::RParen, "\")\"");
        if (!b) {
            // VALTAB, BUSCAT, MENFAC and any other name: fails if evaluated, arguments unused.
            discard(mark, depth);
            emit(Op::UndefFunc, string_index(name), 0.0, t.pos, last_end_);
            return t.pos;
        }
        if (args != b->args) {
            const char* need = b->args == 0 ? "no lleva argumentos"
                             : b->args == 1 ? "necesita 1 argumento" : "necesita 2 argumentos";
            error_at(t.pos, t.len, fmt::format("{} {}", name, need));
        }
        emit(b->op, 0, 0.0, t.pos, last_end_);
        return t.pos;
    }

    std::string_view text_;
    const Names& names_;
    Program& p_;
    std::vector<Token> toks_;
    size_t cur_ = 0;
    uint32_t last_end_ = 0;
    int depth_ = 0;
    int max_depth_ = 0;
    int nesting_ = 0;
};

Program compile(std::string_view text, const Names& names) {
    Program p;
    std::string_view f = trim(text);
    p.text_ = std::string(f);
    if (f.empty()) return p;
    Compiler c(p.text_, names, p);
    c.run();
    return p;
}

std::string check_syntax(std::string_view text) {
    static const Names none;
    try {
        (void)compile(text, none);
    } catch (const SyntaxError& e) {
        return e.what();
    }
    return {};
}

}  // namespace common::formula
