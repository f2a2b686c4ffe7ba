#include "common/decimal.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

namespace common {
namespace {

constexpr int kSig = 15;  // significant digits a double is normalised to

// A non-negative decimal: digits[0..n) with digits[0] at the 10^exp place; the places not
// covered by the digits are zero. The sign is kept apart so rounding works on the magnitude.
struct Decimal {
    char digits[kSig + 1];
    int n = 0;
    int exp = 0;
    bool neg = false;

    bool is_zero() const {
        for (int i = 0; i < n; ++i)
            if (digits[i] != '0') return false;
        return true;
    }
    // The digit at the 10^place place.
    char at(int place) const {
        int i = exp - place;
        return (i >= 0 && i < n) ? digits[i] : '0';
    }
};

// The finite double x as its 15 significant decimal digits. The binary-to-decimal step is
// exact (correctly rounded), so 1.00499999999999989... becomes 1.00500000000000.
Decimal normalise(double x) {
    Decimal d;
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, kSig - 1);
    const char* p = buf;
    if (*p == '-') {
        d.neg = true;
        ++p;
    }
    // Layout: D.DDDDDDDDDDDDDDe[+-]XX[X]
    d.digits[0] = *p++;
    ++p;  // '.'
    std::memcpy(d.digits + 1, p, kSig - 1);
    p += kSig - 1;
    ++p;  // 'e'
    bool eneg = *p == '-';
    ++p;
    int e = 0;
    for (; p < res.ptr; ++p) e = e * 10 + (*p - '0');
    d.exp = eneg ? -e : e;
    d.n = kSig;
    return d;
}

// Keeps the places down to 10^-decimals. With round_up, a dropped first digit of 5 or more
// carries into the kept digits (half away from zero, since the digits are a magnitude);
// without it the dropped digits are cut (truncation toward zero).
void cut(Decimal& d, int decimals, bool round_up) {
    long keep = d.exp + 1L + decimals;  // how many leading digits stay
    if (keep >= d.n) return;
    if (keep < 0) {
        d.n = 0;
        return;
    }
    bool up = round_up && d.digits[keep] >= '5';
    d.n = static_cast<int>(keep);
    if (!up) return;
    int i = static_cast<int>(keep) - 1;
    while (i >= 0 && d.digits[i] == '9') d.digits[i--] = '0';
    if (i >= 0) {
        ++d.digits[i];
    } else {
        // All kept digits were nines (or none were kept): the result is one unit of the
        // next place up, e.g. 99.995 -> 100.00, or 0.005 (no digit kept) -> 0.01.
        d.exp = (keep == 0) ? -decimals : d.exp + 1;
        d.digits[0] = '1';
        d.n = 1;
    }
}

// The double closest to the decimal d.
double to_double(const Decimal& d) {
    if (d.is_zero()) return 0.0;
    char buf[40];
    char* p = buf;
    if (d.neg) *p++ = '-';
    std::memcpy(p, d.digits, d.n);
    p += d.n;
    *p++ = 'e';
    auto res = std::to_chars(p, buf + sizeof buf, d.exp - d.n + 1);
    double v = 0.0;
    std::from_chars(buf, res.ptr, v);
    return v;
}

// Length of d printed with `decimals` decimals (decimals >= 0): sign, integer digits,
// point and decimals. Zero never carries a sign.
long fixed_length(const Decimal& d, int decimals, bool zero) {
    long len = 0;
    if (d.neg && !zero) ++len;
    len += (zero || d.exp < 0) ? 1 : d.exp + 1;
    if (decimals > 0) len += 1L + decimals;
    return len;
}

// Writes d with `decimals` decimals into out (fixed_length() bytes, no terminator).
void write_fixed(const Decimal& d, int decimals, bool zero, char* out) {
    if (d.neg && !zero) *out++ = '-';
    if (zero || d.exp < 0) {
        *out++ = '0';
    } else {
        for (int place = d.exp; place >= 0; --place) *out++ = d.at(place);
    }
    if (decimals > 0) {
        *out++ = '.';
        if (zero) {
            std::memset(out, '0', decimals);
        } else {
            for (int place = -1; place >= -decimals; --place) *out++ = d.at(place);
        }
    }
}

}  // namespace

double round_half_away(double x, int decimals) {
    if (!std::isfinite(x)) return x;
    Decimal d = normalise(x);
    cut(d, decimals, true);
    return to_double(d);
}

double int_trunc(double x) {
    // Int() also works on the 15-digit decimal value: 828.9999999999999 is taken as 829.
    if (!std::isfinite(x)) return x;
    Decimal d = normalise(x);
    cut(d, 0, false);
    return to_double(d);
}

bool str_into(double x, int width, int decimals, char* out) {
    if (width <= 0) return false;
    if (decimals < 0) decimals = 0;
    if (!std::isfinite(x)) {
        std::memset(out, '*', width);
        return false;
    }
    Decimal d = normalise(x);
    cut(d, decimals, true);
    bool zero = d.is_zero();
    long len = fixed_length(d, decimals, zero);
    if (len > width) {
        std::memset(out, '*', width);
        return false;
    }
    long pad = width - len;
    std::memset(out, ' ', pad);
    write_fixed(d, decimals, zero, out + pad);
    return true;
}

std::string str(double x, int width, int decimals) {
    if (width <= 0) return {};
    std::string s(width, ' ');
    str_into(x, width, decimals, s.data());
    return s;
}

std::string format_fixed(double x, int decimals) {
    if (std::isnan(x)) return "nan";
    if (std::isinf(x)) return x < 0 ? "-inf" : "inf";
    Decimal d = normalise(x);
    cut(d, decimals, true);
    if (decimals < 0) decimals = 0;  // rounded to tens, hundreds...: printed without decimals
    bool zero = d.is_zero();
    std::string s(fixed_length(d, decimals, zero), ' ');
    write_fixed(d, decimals, zero, s.data());
    return s;
}

std::string strzero(double x, int width, int decimals) {
    std::string s = str(x, width, decimals);
    if (s.empty() || s[0] == '*') return s;
    size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos || first == 0) return s;
    bool negative = s[first] == '-';
    std::string digits = s.substr(first + (negative ? 1 : 0));
    std::string out = negative ? "-" : "";
    out.append(size_t(width) - out.size() - digits.size(), '0');
    return out + digits;
}

}  // namespace common
