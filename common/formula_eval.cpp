// Formula evaluation: a loop over the compiled stack code, with a fixed array as the stack.
#include <fmt/format.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>

#include "common/decimal.hpp"
#include "common/formula.hpp"
#include "common/formula_ops.hpp"

namespace common::formula {

using detail::Op;

namespace {

constexpr uint32_t kStack = 256;  // matches the compiler's limit

// Julian day numbers of 0001-01-01 and 9999-12-31, the range of real dates.
constexpr double kFirstDate = 1721426;
constexpr double kLastDate = 5373484;

constexpr double kPow10[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                               1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// ROUND with the shared helper's result, computed directly when that is safe: the helper
// rounds the 15-significant-digit decimal value, so whenever |x|*10^d is below 1e13 and its
// fraction is clearly away from one half, rounding the double itself decides the same
// integer k, and k / 10^d (both exact, one correctly rounded division) is the double the
// helper builds from the decimal digits.
double round_value(double x, int d) {
    if (d >= 0 && d <= 15) {
        double y = std::fabs(x) * kPow10[d];
        if (y < 1e13) {  // false for NaN
            double fl = std::floor(y);
            double f = y - fl;
            if (std::fabs(f - 0.5) > y * 1e-13) {
                double k = f > 0.5 ? fl + 1 : fl;
                if (k == 0) return 0.0;
                double r = k / kPow10[d];
                return x < 0 ? -r : r;
            }
        }
    }
    return common::round_half_away(x, d);
}

// INT with the shared helper's result (truncation of the 15-digit decimal value, so that
// 828.9999999999999 gives 829); computed directly unless x lies just below an integer.
double int_value(double x) {
    double ax = std::fabs(x);
    if (ax < 1e13) {
        double fl = std::floor(ax);
        if (1.0 - (ax - fl) > ax * 1e-13) {
            if (fl == 0) return 0.0;
            return x < 0 ? -fl : fl;
        }
    }
    return common::int_trunc(x);
}

Date system_today() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return date_from_ymd(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

const char* op_symbol(Op op) {
    switch (op) {
        case Op::Add: return "+";
        case Op::Sub: return "-";
        case Op::Mul: return "*";
        case Op::Div: return "/";
        case Op::Pow: return "^";
        case Op::Eq: return "=";
        case Op::EqExact: return "==";
        case Op::Ne: return "<>";
        case Op::Lt: return "<";
        case Op::Le: return "<=";
        case Op::Gt: return ">";
        case Op::Ge: return ">=";
        case Op::Neg: return "-";
        case Op::Pos: return "+";
        case Op::Not: return ".NOT.";
        case Op::Round: return "ROUND";
        case Op::Int: return "INT";
        case Op::Abs: return "ABS";
        case Op::Max: return "MAX";
        case Op::Min: return "MIN";
        case Op::Day: return "DAY";
        case Op::Month: return "MONTH";
        case Op::Year: return "YEAR";
        default: return "?";
    }
}

// Texts compare byte by byte (unsigned) over the shorter length; when the right text is
// used up the two are equal, so "=" is "left begins with right" and an empty right text
// equals every text; a left text that ends first is smaller.
int compare_text(const Value& l, const Value& r) {
    size_t n = l.len < r.len ? l.len : r.len;
    int c = n ? std::memcmp(l.text, r.text, n) : 0;
    if (c != 0) return c < 0 ? -1 : 1;
    return r.len <= l.len ? 0 : -1;
}

std::string_view rtrim_blanks(const Value& v) {
    size_t n = v.len;
    while (n > 0 && v.text[n - 1] == ' ') --n;
    return {v.text, n};
}

std::string describe_number(double x) { return std::isnan(x) ? std::string("nan") : fmt::format("{}", x); }


[[gnu::cold]] std::string binary_message(Op op, const Value& l, const Value& r) {
    return fmt::format("Tipos no compatibles: {} {} {}", type_name(l.type), op_symbol(op), type_name(r.type));
}

[[gnu::cold]] std::string call_message(Op op, const Value* args, int n) {
    std::string types;
    for (int i = 0; i < n; ++i) {
        if (i) types += ", ";
        types += type_name(args[i].type);
    }
    return fmt::format("Tipos no compatibles: {}({})", op_symbol(op), types);
}

// Comparison of two values of one kind: -1, 0, 1; 2 when the operation does not take them
// (different kinds, arrays, or logical values with anything but =, == and <>).
int compare(Op op, const Value& l, const Value& r) {
    if (l.type == r.type) {
        switch (l.type) {
            case Type::Number: return l.number < r.number ? -1 : l.number > r.number ? 1 : 0;
            case Type::Date: return l.date < r.date ? -1 : l.date > r.date ? 1 : 0;
            case Type::Text: return compare_text(l, r);
            case Type::Logical:
                if (op == Op::Eq || op == Op::EqExact || op == Op::Ne) return l.logical == r.logical ? 0 : 1;
                break;
            default: break;
        }
    }
    return 2;
}

}  // namespace

void Program::fail(size_t pc, const std::string& what) const {
    const Span& s = spans_[pc];
    throw EvalError(fmt::format("{} en \"{}\"", what, std::string_view(text_).substr(s.pos, s.len)));
}

Value Program::run(const Env& env) const {
    Value st[kStack];
    Value* sp = st;  // first free entry
    const detail::Instr* code = code_.data();
    size_t pc = 0;

#define BINARY_ERROR(l, r) fail(pc, binary_message(in.op, l, r))
#define UNARY_ERROR(v) fail(pc, fmt::format("Tipos no compatibles: {} {}", op_symbol(in.op), type_name((v).type)))
#define CALL_ERROR(args, n) fail(pc, call_message(in.op, args, n))
#define MAKE_DATE(jd)                                                  \
    do {                                                               \
        double jd_ = (jd);                                             \
        if (!(jd_ >= kFirstDate && jd_ <= kLastDate)) fail(pc, "Fecha fuera de rango"); \
        l = Value::of_date(static_cast<Date>(jd_));                    \
    } while (0)

    for (;;) {
        const detail::Instr& in = code[pc];
        switch (in.op) {
            case Op::Num:
                sp->type = Type::Number;
                sp->number = in.num;
                ++sp;
                break;
            case Op::True:
            case Op::False:
                sp->type = Type::Logical;
                sp->logical = in.op == Op::True;
                ++sp;
                break;
            case Op::Text: {
                const std::string& s = strings_[in.a];
                sp->type = Type::Text;
                sp->text = s.data();
                sp->len = static_cast<uint32_t>(s.size());
                ++sp;
                break;
            }
            case Op::Load: {
                Value v = env.get(static_cast<int>(in.a));
                if (v.type == Type::Undefined) {
                    const Span& s = spans_[pc];
                    std::string name(std::string_view(text_).substr(s.pos, s.len));
                    for (char& c : name)
                        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
                    throw EvalError(fmt::format("Variable no definida: {}", name));
                }
                *sp++ = v;
                break;
            }
            case Op::Undef:
                throw EvalError(fmt::format("Variable no definida: {}", strings_[in.a]));
            case Op::UndefFunc:
                throw EvalError(fmt::format("función no definida: {}", strings_[in.a]));
            case Op::Index: {
                const std::string& name = strings_[static_cast<size_t>(in.num)];
                Value& i = sp[-1];
                Value v = env.get(static_cast<int>(in.a));
                if (v.type == Type::Undefined) throw EvalError(fmt::format("Variable no definida: {}", name));
                if (v.type != Type::Array) fail(pc, fmt::format("{} no es un arreglo ({})", name, type_name(v.type)));
                if (i.type != Type::Number)
                    fail(pc, fmt::format("Tipos no compatibles: {}[{}]", name, type_name(i.type)));
                std::span<const double> items = env.array(static_cast<int>(in.a));
                double k = std::trunc(i.number);
                if (!(k >= 1 && k <= static_cast<double>(items.size())))
                    fail(pc, fmt::format("Subíndice fuera de rango: {}[{}] (1..{})", name, describe_number(i.number),
                                         items.size()));
                i = Value::of_number(items[static_cast<size_t>(k) - 1]);
                break;
            }
            case Op::Neg:
                if (sp[-1].type != Type::Number) UNARY_ERROR(sp[-1]);
                sp[-1].number = -sp[-1].number;
                break;
            case Op::Pos:
                if (sp[-1].type != Type::Number) UNARY_ERROR(sp[-1]);
                break;
            case Op::Not:
                if (sp[-1].type != Type::Logical) UNARY_ERROR(sp[-1]);
                sp[-1].logical = !sp[-1].logical;
                break;
            case Op::Add: {
                Value& l = sp[-2];
                const Value& r = sp[-1];
                if (l.type == Type::Number && r.type == Type::Number) l.number += r.number;
                else if (l.type == Type::Date && r.type == Type::Number)
                    { if (l.date != kEmptyDate) MAKE_DATE(l.date + std::trunc(r.number)); }
                else if (l.type == Type::Number && r.type == Type::Date)
                    { if (r.date == kEmptyDate) l = r; else MAKE_DATE(r.date + std::trunc(l.number)); }
                else BINARY_ERROR(l, r);
                --sp;
                break;
            }
            case Op::Sub: {
                Value& l = sp[-2];
                const Value& r = sp[-1];
                if (l.type == Type::Number && r.type == Type::Number) l.number -= r.number;
                else if (l.type == Type::Date && r.type == Type::Number)
                    { if (l.date != kEmptyDate) MAKE_DATE(l.date - std::trunc(r.number)); }
                else if (l.type == Type::Date && r.type == Type::Date) {
                    // An empty date counts as day number 0, as stored formulas have always
                    // had it: the difference is a huge number, not an error that would stop
                    // the calculation for every employee without, say, a cessation date.
                    l = Value::of_number(static_cast<double>(l.date) - r.date);
                } else BINARY_ERROR(l, r);
                --sp;
                break;
            }
            case Op::Mul:
                if (sp[-2].type != Type::Number || sp[-1].type != Type::Number) BINARY_ERROR(sp[-2], sp[-1]);
                sp[-2].number *= sp[-1].number;
                --sp;
                break;
            case Op::Div:
                if (sp[-2].type != Type::Number || sp[-1].type != Type::Number) BINARY_ERROR(sp[-2], sp[-1]);
                // Division by zero gives 0 and the evaluation goes on.
                sp[-2].number = sp[-1].number == 0 ? 0.0 : sp[-2].number / sp[-1].number;
                --sp;
                break;
            case Op::Pow:
                if (sp[-2].type != Type::Number || sp[-1].type != Type::Number) BINARY_ERROR(sp[-2], sp[-1]);
                sp[-2].number = std::pow(sp[-2].number, sp[-1].number);
                --sp;
                break;
            case Op::Eq: case Op::Ne: case Op::Lt: case Op::Le: case Op::Gt: case Op::Ge: {
                int c = compare(in.op, sp[-2], sp[-1]);
                if (c == 2) BINARY_ERROR(sp[-2], sp[-1]);
                bool b = in.op == Op::Eq ? c == 0 : in.op == Op::Ne ? c != 0 : in.op == Op::Lt ? c < 0
                       : in.op == Op::Le ? c <= 0 : in.op == Op::Gt ? c > 0 : c >= 0;
                sp[-2] = Value::of_logical(b);
                --sp;
                break;
            }
            case Op::EqExact: {
                const Value& l = sp[-2];
                const Value& r = sp[-1];
                bool b;
                if (l.type == Type::Text && r.type == Type::Text) {
                    b = rtrim_blanks(l) == rtrim_blanks(r);
                } else {
                    int c = compare(in.op, l, r);
                    if (c == 2) BINARY_ERROR(l, r);
                    b = c == 0;
                }
                sp[-2] = Value::of_logical(b);
                --sp;
                break;
            }
            case Op::OrJump:
            case Op::AndJump: {
                const Value& v = sp[-1];
                if (v.type != Type::Logical)
                    fail(pc, fmt::format("Tipos no compatibles: {} {}", type_name(v.type),
                                         in.op == Op::OrJump ? ".OR." : ".AND."));
                if (v.logical == (in.op == Op::OrJump)) {
                    pc = in.a;
                    continue;
                }
                --sp;
                break;
            }
            case Op::CheckLogical:
                if (sp[-1].type != Type::Logical)
                    fail(pc, fmt::format("Tipos no compatibles: lógico {} {}", in.a ? ".OR." : ".AND.",
                                         type_name(sp[-1].type)));
                break;
            case Op::IfFalse: {
                const Value& c = sp[-1];
                if (c.type != Type::Logical)
                    fail(pc, fmt::format("La condición de IF no es lógica ({})", type_name(c.type)));
                --sp;
                if (!c.logical) {
                    pc = in.a;
                    continue;
                }
                break;
            }
            case Op::Jump:
                pc = in.a;
                continue;
            case Op::Round: {
                const Value& x = sp[-2];
                const Value& n = sp[-1];
                if (x.type != Type::Number || n.type != Type::Number) CALL_ERROR(sp - 2, 2);
                double d = std::trunc(n.number);
                if (std::isnan(d)) d = 0;
                d = d < -400 ? -400 : d > 400 ? 400 : d;
                sp[-2].number = round_value(x.number, static_cast<int>(d));
                --sp;
                break;
            }
            case Op::Int:
                if (sp[-1].type != Type::Number) CALL_ERROR(sp - 1, 1);
                sp[-1].number = int_value(sp[-1].number);
                break;
            case Op::Abs:
                if (sp[-1].type != Type::Number) CALL_ERROR(sp - 1, 1);
                sp[-1].number = std::fabs(sp[-1].number);
                break;
            case Op::Max:
            case Op::Min: {
                Value& l = sp[-2];
                const Value& r = sp[-1];
                bool pick_right;  // MAX takes the larger, MIN the smaller; ties keep the left
                if (l.type == Type::Number && r.type == Type::Number)
                    pick_right = in.op == Op::Max ? r.number > l.number : r.number < l.number;
                else if (l.type == Type::Date && r.type == Type::Date)
                    pick_right = in.op == Op::Max ? r.date > l.date : r.date < l.date;
                else
                    CALL_ERROR(sp - 2, 2), pick_right = false;
                if (pick_right) l = r;
                --sp;
                break;
            }
            case Op::Day:
            case Op::Month:
            case Op::Year: {
                if (sp[-1].type != Type::Date) CALL_ERROR(sp - 1, 1);
                int y = 0, m = 0, d = 0;
                if (sp[-1].date != kEmptyDate) ymd_from_date(sp[-1].date, y, m, d);
                sp[-1] = Value::of_number(in.op == Op::Day ? d : in.op == Op::Month ? m : y);
                break;
            }
            case Op::Today:
                *sp++ = Value::of_date(env.today ? env.today() : system_today());
                break;
            case Op::End:
                return st[0];
        }
        ++pc;
    }
}

#undef BINARY_ERROR
#undef UNARY_ERROR
#undef CALL_ERROR
#undef MAKE_DATE

Value Program::evaluate_value(const Env& env) const {
    if (code_.empty()) throw EvalError("Fórmula vacía");
    return run(env);
}

double Program::evaluate(const Env& env) const {
    Value v = evaluate_value(env);
    if (v.type != Type::Number) throw EvalError(fmt::format("El resultado no es un número: {}", type_name(v.type)));
    double x = v.number;
    if (!std::isfinite(x)) throw EvalError(fmt::format("El resultado no es un número finito: {}", describe_number(x)));
    if (x > 999999999.9999 || x < -99999999.9999)
        throw EvalError(fmt::format("El resultado no cabe en un concepto (N14.4): {}", describe_number(x)));
    return x;
}

}  // namespace common::formula
