#include "common/words.hpp"

#include <cmath>

#include "common/decimal.hpp"

namespace common {
namespace {

constexpr std::array<std::string_view, 13> kMonthNames = {
    "APERTURA ", "ENERO    ", "FEBRERO  ", "MARZO    ", "ABRIL    ", "MAYO     ", "JUNIO    ",
    "JULIO    ", "AGOSTO   ", "SETIEMBRE", "OCTUBRE  ", "NOVIEMBRE", "DICIEMBRE"};

constexpr std::array<std::string_view, 13> kMonthList = {"01 Ene", "02 Feb", "03 Mar", "04 Abr", "05 May",
                                                         "06 Jun", "07 Jul", "08 Ago", "09 Set", "10 Oct",
                                                         "11 Nov", "12 Dic", "13 Adi"};

// The value of a group of blanks and digits ("  1" -> 1); -1 when it holds anything else,
// 0 when it is blank.
int group_value(std::string_view group) {
    int v = 0;
    for (char c : group) {
        if (c == ' ') continue;
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
        if (v > 999) return -1;
    }
    return v;
}

}  // namespace

std::string TRESDIGIT(int group) {
    if (group <= 0 || group > 999) return {};
    if (group == 100) return "CIEN ";
    std::string words;
    int hundreds = group / 100;
    if (hundreds != 0) words += MCENT[hundreds - 1];
    int t = group % 100;
    if (t >= 1 && t <= 19) {
        words += MONES[t - 1];
    } else if (t >= 20) {
        words += MDECE[t / 10 - 2];
        if (t % 10 != 0) {
            words += " y ";
            words += MONES[t % 10 - 1];
        }
    }
    return words;
}

std::string TRESDIGIT(std::string_view group) {
    int v = group_value(group);
    return v > 0 ? TRESDIGIT(v) : std::string{};
}

std::optional<std::string> NUMTEXT(double amount) {
    if (!std::isfinite(amount)) return std::nullopt;
    // Twelve characters: nine integer places, the point and two decimals. Anything wider
    // (one thousand million or more) comes back as asterisks.
    char fig[12];
    if (!str_into(std::fabs(amount), 12, 2, fig)) return std::nullopt;
    std::string_view s(fig, 12);
    std::string_view millions = s.substr(0, 3), thousands = s.substr(3, 3), units = s.substr(6, 3),
                     cents = s.substr(10, 2);

    std::string words;
    if (group_value(millions) > 0) {
        words += TRESDIGIT(millions);
        words += " MILLON ";
    }
    if (group_value(thousands) > 0) {
        words += TRESDIGIT(thousands);
        words += " MIL ";
    }
    if (group_value(units) > 0) words += TRESDIGIT(units);
    bool zero = words.empty() && cents == "00";
    if (words.empty()) words = "cero ";
    words += " y ";
    words += cents;
    words += "/100";
    // The sign only counts when the rounded amount is not zero: -0.001 is "cero  y 00/100".
    if (amount < 0 && !zero) words.insert(0, "MENOS ");
    return words;
}

std::string_view MESANO(int month) {
    if (month < 0 || month > 12) return " ";
    return kMonthNames[static_cast<size_t>(month)];
}

std::vector<std::string> VARIAMES() { return {kMonthList.begin(), kMonthList.end()}; }

std::vector<std::string> REGREMES() { return {kMonthList.begin(), kMonthList.end() - 1}; }

}  // namespace common
