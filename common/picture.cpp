#include "common/picture.hpp"

#include <algorithm>
#include <cmath>

#include "common/decimal.hpp"

namespace common {
namespace {

struct Picture {
    bool zero_blank = false;  // @Z
    bool upper = false;       // @!
    std::string_view tmpl;
};

Picture parse(std::string_view picture) {
    Picture p;
    if (!picture.empty() && picture.front() == '@') {
        size_t end = picture.find(' ');
        std::string_view fn = picture.substr(1, end == std::string_view::npos ? std::string_view::npos : end - 1);
        for (char c : fn) {
            if (c == 'Z' || c == 'z') p.zero_blank = true;
            if (c == '!') p.upper = true;
        }
        p.tmpl = end == std::string_view::npos ? std::string_view{} : picture.substr(end + 1);
    } else {
        p.tmpl = picture;
    }
    return p;
}

bool is_digit_place(char c) { return c == '9' || c == '#'; }

// The number of bytes of the UTF-8 character starting with lead byte c.
size_t utf8_length(unsigned char c) {
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0) return 2;
    if ((c & 0xF0) == 0xE0) return 3;
    if ((c & 0xF8) == 0xF0) return 4;
    return 1;  // a stray continuation byte is taken on its own
}

// Appends the upper case of the one UTF-8 character ch.
void append_upper(std::string& out, std::string_view ch) {
    if (ch.size() == 1) {
        char c = ch[0];
        out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        return;
    }
    if (ch.size() == 2) {
        auto a = static_cast<unsigned char>(ch[0]);
        auto b = static_cast<unsigned char>(ch[1]);
        // U+00E0..U+00FE (à..þ, but not ÷ U+00F7) are U+00C0..U+00DE plus 0x20.
        if (a == 0xC3 && b >= 0xA0 && b <= 0xBE && b != 0xB7) {
            out += static_cast<char>(a);
            out += static_cast<char>(b - 0x20);
            return;
        }
        // š U+0161, ž U+017E, œ U+0153: the upper case is the code point before.
        if (a == 0xC5 && (b == 0xA1 || b == 0xBE || b == 0x93)) {
            out += static_cast<char>(a);
            out += static_cast<char>(b - 1);
            return;
        }
        // ÿ U+00FF -> Ÿ U+0178
        if (a == 0xC3 && b == 0xBF) {
            out += "\xC5\xB8";
            return;
        }
    }
    out += ch;
}

std::string asterisks(std::string_view tmpl) {
    std::string s(tmpl);
    for (char& c : s)
        if (c != '.') c = '*';
    return s;
}

}  // namespace

std::string upper_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        size_t n = std::min(utf8_length(static_cast<unsigned char>(text[i])), text.size() - i);
        append_upper(out, text.substr(i, n));
        i += n;
    }
    return out;
}

std::string transform(double value, std::string_view picture) {
    Picture p = parse(picture);
    if (p.tmpl.empty()) {
        if (p.zero_blank && value == 0.0) return {};
        return std::isfinite(value) ? format_fixed(value, 2) : std::string("**********");
    }
    if (p.zero_blank && value == 0.0) return std::string(p.tmpl.size(), ' ');
    if (!std::isfinite(value)) return asterisks(p.tmpl);

    size_t point = p.tmpl.find('.');
    int decimals = 0;
    if (point != std::string_view::npos)
        for (size_t i = point + 1; i < p.tmpl.size(); ++i)
            if (is_digit_place(p.tmpl[i])) ++decimals;

    // "-123.45": sign, integer digits, fraction digits, all rounded by the shared helper.
    std::string fixed = format_fixed(value, decimals);
    bool negative = fixed[0] == '-';
    std::string_view digits(fixed);
    if (negative) digits.remove_prefix(1);
    std::string_view int_digits = digits.substr(0, digits.find('.'));
    std::string_view frac_digits = decimals > 0 ? digits.substr(int_digits.size() + 1) : std::string_view{};

    std::string out(p.tmpl);
    size_t int_end = point == std::string_view::npos ? out.size() : point;

    // Integer places from right to left; a lone "0" may give way when there is no place.
    size_t placed = 0;
    bool minus_placed = !negative;
    bool any_place = false;
    for (size_t i = int_end; i-- > 0;) {
        char c = p.tmpl[i];
        if (is_digit_place(c)) {
            any_place = true;
            if (placed < int_digits.size()) {
                out[i] = int_digits[int_digits.size() - 1 - placed];
                ++placed;
            } else if (!minus_placed) {
                out[i] = '-';
                minus_placed = true;
            } else {
                out[i] = ' ';
            }
        } else if (c == ',') {
            if (placed > 0 && placed < int_digits.size()) {
                // a separator between two digits stays
            } else if (placed == int_digits.size() && !minus_placed) {
                out[i] = '-';
                minus_placed = true;
            } else {
                out[i] = ' ';
            }
        }
    }
    bool lone_zero = int_digits == "0" && !any_place;
    if ((placed < int_digits.size() && !lone_zero) || !minus_placed) return asterisks(p.tmpl);

    if (point != std::string_view::npos) {
        size_t k = 0;
        for (size_t i = point + 1; i < out.size(); ++i)
            if (is_digit_place(p.tmpl[i])) out[i] = frac_digits[k++];
    }
    return out;
}

std::string transform_date(Date value, std::string_view /*picture*/) { return dtoc(value); }

std::string transform_text(std::string_view value, std::string_view picture) {
    Picture p = parse(picture);
    if (p.tmpl.empty()) return p.upper ? upper_utf8(value) : std::string(value);
    std::string out;
    out.reserve(p.tmpl.size() + value.size());
    size_t pos = 0;  // next byte of value
    for (char c : p.tmpl) {
        bool takes = c == '9' || c == '#' || c == 'X' || c == 'x' || c == 'A' || c == 'a' || c == 'N' ||
                     c == 'n' || c == 'L' || c == 'l' || c == 'Y' || c == 'y' || c == '!';
        if (!takes) {
            out += c;
            continue;
        }
        if (pos >= value.size()) {
            out += ' ';
            continue;
        }
        size_t n = std::min(utf8_length(static_cast<unsigned char>(value[pos])), value.size() - pos);
        std::string_view ch = value.substr(pos, n);
        pos += n;
        if (p.upper || c == '!')
            append_upper(out, ch);
        else
            out += ch;
    }
    return out;
}

}  // namespace common
