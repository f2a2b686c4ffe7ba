#pragma once
// Key expressions and FOR conditions of index tags, compiled once and evaluated on raw
// record bytes, without allocating.
//
// Values are text (fixed width, in the table's code page), numbers, dates and logicals.
// Names of fields and functions are case-insensitive; a function name may be shortened to
// four letters or more when only one function fits (SUBS, DELE).
//
//   Fields          C (text), N F I B Y (numbers), D T (dates; T gives its date part), L.
//                   Memo fields cannot be used.
//   Literals        123, 1.5, "text", 'text', [text] (UTF-8, converted to the code page),
//                   .T. .F. (also .Y. .N.)
//   Operators       by precedence, loosest first: .OR.; .AND.; .NOT. / !;
//                   comparisons = == <> # != < <= > >= and $ (contained in);
//                   + -; * / %; unary - +; ^ **.
//                   text + text concatenates (widths add); text - text concatenates with the
//                   first one's trailing blanks moved to the end; date +/- number is a date,
//                   date - date a number of days.
//                   On texts, = < <= > >= <> compare the left side only over the length of
//                   the right side (an empty right side matches anything); == is exact.
//   Functions       Str(n[,w[,d]]) StrZero(n[,w[,d]]) DtoS(d) Left(c,n) Right(c,n)
//                   Substr(c,s[,n]) Upper(c) Trim(c) RTrim(c) LTrim(c) AllTrim(c)
//                   Month(d) Day(d) Year(d) Val(c) Int(n) Abs(n) Round(n,d) Empty(x)
//                   Deleted() Iif(l,a,b). Widths, positions and decimals must be constant, so
//                   that every text has a width known at compile time; the trimming
//                   functions keep that width and pad the key with blanks at its end.
//
// Key bytes are those stored in a CDX file: character keys are the code-page bytes,
// numeric keys and date keys are 8 bytes (see encode_numeric_key).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xbase/codepage.hpp"
#include "xbase/field.hpp"

namespace xbase {

enum class KeyType : char { Char = 'C', Numeric = 'N', Date = 'D', Logical = 'L' };

// Numeric key encoding: the IEEE-754 double in big-endian byte order; when the value is
// >= 0 the sign bit is set, when it is negative every bit is inverted, so that unsigned
// byte comparison orders the numbers. -0.0 is encoded as +0.0.
void encode_numeric_key(double v, uint8_t out[8]);
double decode_numeric_key(const uint8_t in[8]);

// Julian day number (2451545 = 2000-01-01); 0 for the empty date.
int32_t julian_from_ymd(int y, int m, int d);
void ymd_from_julian(int32_t jd, int& y, int& m, int& d);  // 0 -> 0,0,0
// "YYYYMMDD" (or blanks / empty) to a Julian day; returns false when malformed.
bool julian_from_dtos(std::string_view s, int32_t& jd);

class KeyExpr {
public:
    // Throws ExprError naming the expression and what is wrong.
    static KeyExpr compile(std::string_view text, const std::vector<Field>& fields,
                           CodePage cp = CodePage::Win1252);

    KeyExpr(KeyExpr&&) noexcept;
    KeyExpr& operator=(KeyExpr&&) noexcept;
    ~KeyExpr();

    const std::string& text() const;
    KeyType type() const;          // Char, Numeric or Date (a logical key is an ExprError)
    int length() const;            // key length in bytes: the text width, or 8

    // Writes length() key bytes for the record (record[0] is the deletion flag).
    // Does not allocate.
    void eval(const uint8_t* record, uint8_t* out) const;

private:
    struct Impl;
    explicit KeyExpr(std::unique_ptr<Impl>);
    std::unique_ptr<Impl> impl_;
};

class ForExpr {
public:
    // Empty or blank text compiles to "always true".
    static ForExpr compile(std::string_view text, const std::vector<Field>& fields,
                           CodePage cp = CodePage::Win1252);

    ForExpr(ForExpr&&) noexcept;
    ForExpr& operator=(ForExpr&&) noexcept;
    ~ForExpr();

    const std::string& text() const;
    bool always_true() const;
    // record[0] is the deletion flag ('*' = deleted), which Deleted() reads.
    bool eval(const uint8_t* record) const;

private:
    struct Impl;
    explicit ForExpr(std::unique_ptr<Impl>);
    std::unique_ptr<Impl> impl_;
};

}  // namespace xbase
