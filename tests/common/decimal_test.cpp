#include "common/decimal.hpp"

#include <gtest/gtest.h>

#include "tests/common/number_cases.hpp"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

using common::format_fixed;
using common::int_trunc;
using common::round_half_away;
using common::str;
using common::str_into;

namespace {

std::string show(double x) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", x);
    return buf;
}

TEST(Decimal, ReferenceCases) {
    std::ifstream in(std::string(PLANILLA_FIXTURES) + "/numbers/rounding.json");
    ASSERT_TRUE(in) << "missing numbers/rounding.json";
    nlohmann::json doc = nlohmann::json::parse(in);
    const auto& cases = doc.at("cases");
    ASSERT_EQ(cases.size(), 6030u);

    int failures = 0;
    int binary_ties = 0;
    auto fail = [&](double x, const char* what, const std::string& got, const std::string& want) {
        if (++failures <= 10)
            ADD_FAILURE() << what << " of x=" << show(x) << ": got '" << got << "', want '" << want << "'";
    };
    for (const auto& c : cases) {
        const std::string hex = c.at("x_hex").get<std::string>();
        const double x = hex.empty() ? c.at("x").get<double>() : from_hex(hex);

        const struct { const char* key; int decimals; } rounds[] = {{"round0", 0}, {"round2", 2}, {"round4", 4}};
        for (const auto& r : rounds) {
            double want = c.at(r.key).get<double>();
            double got = round_half_away(x, r.decimals);
            if (got != want) fail(x, r.key, show(got), show(want));
        }
        const struct { const char* key; int width, decimals; } strs[] = {
            {"str_14_4", 14, 4}, {"str_12_2", 12, 2}, {"str_10_0", 10, 0}};
        for (const auto& s : strs) {
            std::string want = c.at(s.key).get<std::string>();
            std::string got = str(x, s.width, s.decimals);
            if (got == want) continue;
            // A few reference strings round the exact binary value instead (x a hair below a
            // 15-digit tie, e.g. 0.83175 -> "0.8317" although Round gives 0.8318). They follow no
            // rule that also gives 1.005 -> "1.01"; we keep Str and Round consistent and accept
            // only this kind of difference, a bounded number of times.
            char binary[64];
            std::snprintf(binary, sizeof binary, "%*.*f", s.width, s.decimals, x);
            if (want == binary && got != binary) {
                ++binary_ties;
                continue;
            }
            fail(x, s.key, got, want);
        }
        double want_int = c.at("int").get<double>();
        if (int_trunc(x) != want_int) fail(x, "int", show(int_trunc(x)), show(want_int));
    }
    EXPECT_EQ(failures, 0);
    EXPECT_LE(binary_ties, 30) << "more Str results than before disagree with the decimal rounding";
}

TEST(Decimal, RoundHalfAwayFromZero) {
    const struct { double x; int decimals; double want; } cases[] = {
        {2.345, 2, 2.35},     {1.005, 2, 1.01},      {115.225, 2, 115.23}, {-2.345, 2, -2.35},
        {2.5, 0, 3.0},        {-2.5, 0, -3.0},       {0.5, 0, 1.0},        {0.49999999999999994, 0, 1.0},  // 15 digits: 0.500000000000000
        {99.995, 2, 100.0},   {-99.995, 2, -100.0},  {0.004, 2, 0.0},      {0.005, 2, 0.01},
        {1234.5, -1, 1230.0}, {1235.0, -1, 1240.0},  {-1250.0, -2, -1300.0}, {49.0, -2, 0.0},
        {50.0, -2, 100.0},    {0.0, 2, 0.0},         {1e20, 2, 1e20},      {0.1 + 0.2, 2, 0.3},
        {1e-20, 2, 0.0},      {5e-3, 3, 0.005},
    };
    for (const auto& c : cases)
        EXPECT_EQ(round_half_away(c.x, c.decimals), c.want) << "x=" << show(c.x) << " d=" << c.decimals;

    EXPECT_FALSE(std::signbit(round_half_away(-0.001, 2))) << "rounding to zero gives +0";
    EXPECT_TRUE(std::isnan(round_half_away(std::nan(""), 2)));
    EXPECT_EQ(round_half_away(-INFINITY, 2), -INFINITY);
}

TEST(Decimal, IntTruncatesTheDecimalValue) {
    const struct { double x, want; } cases[] = {
        {2.9, 2.0}, {-2.9, -2.0}, {-0.5, 0.0}, {828.9999999999999, 829.0}, {1e18, 1e18}, {0.0, 0.0},
    };
    for (const auto& c : cases) EXPECT_EQ(int_trunc(c.x), c.want) << "x=" << show(c.x);
}

TEST(Decimal, StrAndFormatFixed) {
    const struct { double x; int width, decimals; const char* want; } cases[] = {
        {2.345, 10, 2, "      2.35"},
        {-2.345, 6, 2, " -2.35"},
        {-2.345, 5, 2, "-2.35"},
        {-2.345, 4, 2, "****"},            // the sign needs a column too
        {123456.0, 5, 0, "*****"},
        {99999.5, 5, 0, "*****"},          // fits only before rounding
        {99999.4, 5, 0, "99999"},
        {-0.001, 6, 2, "  0.00"},          // negative zero prints without a sign
        {-0.4, 3, 0, "  0"},
        {0.0, 1, 0, "0"},
        {0.5, 3, 2, "***"},                // "0.50" needs four columns
        {1e15, 16, 0, "1000000000000000"},
        {123456789012345678.0, 20, 0, "  123456789012346000"},  // 15 significant digits
        {1.5, 6, -1, "     2"},           // negative decimals print as none
        {std::nan(""), 4, 0, "****"},
        {INFINITY, 4, 1, "****"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(str(c.x, c.width, c.decimals), c.want) << "x=" << show(c.x) << " w=" << c.width;

    EXPECT_EQ(str(3.0), "         3");
    EXPECT_EQ(str(1.0, 0, 0), "");

    char buf[8];
    std::memset(buf, '#', sizeof buf);
    EXPECT_TRUE(str_into(7.25, 6, 1, buf));
    EXPECT_EQ(std::string(buf, 8), "   7.3##") << "writes exactly width bytes";
    EXPECT_FALSE(str_into(1e6, 6, 0, buf));
    EXPECT_EQ(std::string(buf, 6), "******");

    EXPECT_EQ(format_fixed(-2.345, 2), "-2.35");
    EXPECT_EQ(format_fixed(0.0, 2), "0.00");
    EXPECT_EQ(format_fixed(-0.0, 0), "0");
    EXPECT_EQ(format_fixed(0.07, 1), "0.1");
    EXPECT_EQ(format_fixed(1234.5, -2), "1200");
    EXPECT_EQ(format_fixed(1e300, 0).size(), 301u);
    EXPECT_EQ(format_fixed(5e-324, 2), "0.00");
}

// str_into runs for every record while index keys are built; keep an eye on its cost.
TEST(Decimal, StrIntoIsFast) {
    char buf[16];
    const int n = 200000;
    double sink = 0;
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i) {
        str_into(i * 0.37 - 5000.0, 14, 4, buf);
        sink += buf[13];
    }
    auto ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() / n;
    RecordProperty("ns_per_call", std::to_string(ns));
    std::printf("str_into: %.0f ns per call\n", ns);
    EXPECT_GT(sink, 0);
    // Generous bound: sanitizer builds are several times slower than release.
    EXPECT_LT(ns, 5000.0);
}

}  // namespace

TEST(StrZero, LeadingZerosAndSign) {
    struct Case {
        double x;
        int w, d;
        const char* want;
    } cases[] = {{7, 4, 0, "0007"}, {12.5, 8, 2, "00012.50"}, {-12.5, 8, 2, "-0012.50"},
                 {1.005, 6, 2, "001.01"}, {12345, 4, 0, "****"}, {0, 3, 0, "000"}};
    for (const auto& c : cases) EXPECT_EQ(common::strzero(c.x, c.w, c.d), c.want) << c.x;
}
