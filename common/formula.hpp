#pragma once
// The payroll formula language: compile a formula once into a small stack program whose
// names are already resolved to slots, then evaluate it many times against an environment
// the caller fills (one per employee). Evaluation allocates nothing for numbers, dates and
// logical values and reads nothing but the environment.
//
// Values are numbers (double), dates (Julian day numbers, 0 = empty date), logical values
// and texts. Operators from the highest precedence to the lowest, left-associative within
// a level: calls, parentheses and subscripts NAME[i]; unary - and +; ^ and ** (power);
// * and /; + and -; comparisons = == <> != # < <= > >=; .NOT.; .AND.; .OR.
// IF(c, a, b), .AND. and .OR. only evaluate what decides the result, and a name that
// resolves to nothing fails only when it is evaluated.
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/dates.hpp"

namespace common::formula {

enum class Type : uint8_t { Undefined = 0, Number, Date, Logical, Text, Array };

// "número", "fecha", "lógico", "texto", "arreglo", "indefinido".
const char* type_name(Type t);

// One value. Trivial on purpose: the evaluation stack is a plain array. For a text, `text`
// and `len` point at storage owned by the program or the environment.
struct Value {
    Type type;
    bool logical;
    Date date;
    uint32_t len;
    double number;
    const char* text;

    std::string_view text_view() const { return {text, len}; }
    static Value of_number(double x) {
        Value v{};
        v.type = Type::Number;
        v.number = x;
        return v;
    }
    static Value of_date(Date d) {
        Value v{};
        v.type = Type::Date;
        v.date = d;
        return v;
    }
    static Value of_logical(bool b) {
        Value v{};
        v.type = Type::Logical;
        v.logical = b;
        return v;
    }
};

// A formula that does not parse. what() is the full message:
// "Error de sintaxis en la posición 7: operador no válido \"$\"".
class SyntaxError : public std::runtime_error {
public:
    SyntaxError(size_t position, std::string token, const std::string& reason);
    size_t position() const { return position_; }      // 1-based character position
    const std::string& token() const { return token_; }  // the offending text
    const std::string& reason() const { return reason_; }

private:
    size_t position_;
    std::string token_;
    std::string reason_;
};

// A formula that parses but cannot be evaluated: an undefined name or function, operand
// types an operation does not take, a subscript out of range, a result that is not a number
// or does not fit a concept column. what() names the operation, the types and the name.
class EvalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Names a formula may use, each bound to a slot of the environment. Case-insensitive.
class Names {
public:
    // The slot of `name`, created when new.
    int add(std::string_view name);
    // A second name for an existing slot (XPLFECRET and CFECRET).
    void add_synonym(std::string_view name, int slot);
    int find(std::string_view name) const;  // -1 when unknown
    size_t size() const { return slot_names_.size(); }
    const std::string& name_of(int slot) const { return slot_names_[static_cast<size_t>(slot)]; }

private:
    std::unordered_map<std::string, int> map_;
    std::vector<std::string> slot_names_;
};

// The reserved words in the editor's order (31 entries, functions and operators included).
const std::array<std::string_view, 31>& reserved_words();

// Slots of standard_names(): the per-employee and per-period names of the calculation.
enum Std : int {
    SWAFP, SWCLAPLA, XPLCODEMP, XSEMMES, SWCATEGO, SWCTOCTO, CFECREP, SWCONDIC, XPLINIVAC,
    XPLDIAVAC, XPLFECING, XPLFECNAC, DIASNETO, APOMINESA,
    XPLAPELLI, XPLNOMBRE, XPLCODAFP, XPLCTOCTO, XPLCODREF, XPLCONDIC, XPLCATEGO, XPLACTIVI,
    XPLMOVAFP, XPLFECAFP, XPLFECRET /* also CFECRET */, CMESCES, XPLLIBELE, XPLNUMSPP,
    XPLPERPAG /* also XPERPAG */, XMESPRO /* also CMESPRO */, XANOPRO,
    kStdCount
};
// A Names holding exactly the Std slots (with their synonyms); concept aliases and the
// caller's own names are added after them.
Names standard_names();

// Slot values for one evaluation. A slot that was never set (or was cleared) is undefined:
// evaluating its name fails with "Variable no definida: NAME".
class Env {
public:
    Env() = default;
    explicit Env(const Names& names) { resize(names.size()); }
    void resize(size_t slots);
    size_t size() const { return slots_.size(); }

    void set_number(int slot, double x) { slots_[static_cast<size_t>(slot)] = Value::of_number(x); }
    void set_date(int slot, Date d) { slots_[static_cast<size_t>(slot)] = Value::of_date(d); }
    void set_logical(int slot, bool b) { slots_[static_cast<size_t>(slot)] = Value::of_logical(b); }
    void set_text(int slot, std::string_view s);          // copied
    void set_array(int slot, std::span<const double> items);  // copied; NAME[1] is items[0]
    void clear(int slot) { slots_[static_cast<size_t>(slot)] = Value{}; }

    // The slot's value; a text points into this environment (valid until the slot changes).
    Value get(int slot) const {
        size_t i = static_cast<size_t>(slot);
        if (i >= slots_.size()) return Value{};
        Value v = slots_[i];
        if (v.type == Type::Text) v.text = texts_[i].data();
        return v;
    }
    std::span<const double> array(int slot) const;

    // Today's date for DATE(); when empty, the computer's local date.
    std::function<Date()> today;

private:
    std::vector<Value> slots_;
    std::vector<std::string> texts_;
    std::vector<std::vector<double>> arrays_;
};

namespace detail {
enum class Op : uint8_t;
struct Instr {
    Op op;
    uint32_t a;  // slot, string index, jump target or argument
    double num;
};
}  // namespace detail

class Program {
public:
    // An empty formula (blank text): the concept keeps its stored value.
    bool empty() const { return code_.empty(); }
    // The formula's value, which must be a finite number that fits N14.4
    // (-99,999,999.9999 .. 999,999,999.9999). Throws EvalError.
    double evaluate(const Env& env) const;
    // The value of any type, without the result checks. Throws EvalError.
    Value evaluate_value(const Env& env) const;
    const std::string& text() const { return text_; }

private:
    friend class Compiler;
    friend Program compile(std::string_view text, const Names& names);
    struct Span {
        uint32_t pos, len;
    };
    [[noreturn]] void fail(size_t pc, const std::string& what) const;
    Value run(const Env& env) const;

    std::vector<detail::Instr> code_;
    std::vector<Span> spans_;            // source of each instruction, for messages
    std::vector<std::string> strings_;   // names and text literals
    std::string text_;                   // the trimmed formula
    uint32_t max_stack_ = 0;
};

// Parses `text` (leading and trailing blanks ignored) and resolves its names through
// `names`. Throws SyntaxError.
Program compile(std::string_view text, const Names& names);

// Syntax check only: empty when the formula parses, else the error message.
std::string check_syntax(std::string_view text);

// The advisory token scan of the consistency check: the tokens of the trimmed formula
// between the separators < > * + - ) ( blank / . , = that are neither the beginning of a
// reserved word, nor a positive number, nor the beginning of a concept alias, in the order
// they occur. It reports quoted texts and names outside the reserved-word list (XMESPRO)
// although they evaluate, and splits 0.5 into 0 and 5.
std::vector<std::string> token_check(std::string_view text, const std::vector<std::string>& aliases);

// xBase Val: leading blanks, an optional sign, digits with an optional decimal point;
// whatever follows is ignored; 0 when no digit leads.
double val(std::string_view s);

}  // namespace common::formula
