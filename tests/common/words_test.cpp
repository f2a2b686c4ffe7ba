#include "common/words.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace {

TEST(Words, Amounts) {
    struct Case {
        double amount;
        const char* want;
    };
    const Case cases[] = {
        {0, "cero  y 00/100"},
        {0.5, "cero  y 50/100"},
        {1, "UNO y 00/100"},
        {21, "VEINTE y UNO y 00/100"},
        {100, "CIEN  y 00/100"},
        {101, "CIENTO UNO y 00/100"},
        {115, "CIENTO QUINCE y 00/100"},
        {300, "TRESCIENTOS  y 00/100"},
        {1000, "UNO MIL  y 00/100"},
        {1100, "UNO MIL CIEN  y 00/100"},
        {1234.56, "UNO MIL DOSCIENTOS TREINTA y CUATRO y 56/100"},
        {100000, "CIEN  MIL  y 00/100"},
        {2000000, "DOS MILLON  y 00/100"},
        {1000500, "UNO MILLON QUINIENTOS  y 00/100"},
        {21016019.9, "VEINTE y UNO MILLON DIECISEIS MIL DIECINUEVE y 90/100"},
        {999999999.99,
         "NOVECIENTOS NOVENTA y NUEVE MILLON NOVECIENTOS NOVENTA y NUEVE MIL NOVECIENTOS NOVENTA y NUEVE y "
         "99/100"},
        // Cents by the shared rounding: halves away from zero on the decimal value.
        {0.125, "cero  y 13/100"},
        {1.005, "UNO y 01/100"},
        {2.345, "DOS y 35/100"},
        {99.995, "CIEN  y 00/100"},
        {-80, "MENOS OCHENTA y 00/100"},
        {-1234.56, "MENOS UNO MIL DOSCIENTOS TREINTA y CUATRO y 56/100"},
        {-0.001, "cero  y 00/100"},
        {-0.005, "MENOS cero  y 01/100"},
    };
    for (const auto& c : cases) {
        std::optional<std::string> got = common::NUMTEXT(c.amount);
        ASSERT_TRUE(got.has_value()) << c.amount;
        EXPECT_EQ(*got, c.want) << c.amount;
    }
}

TEST(Words, OutOfRangeHasNoWords) {
    const double kInf = std::numeric_limits<double>::infinity();
    for (double amount : {999999999.995, 1e9, -1e9, 1e15, kInf, -kInf, std::nan("")})
        EXPECT_FALSE(common::NUMTEXT(amount).has_value()) << amount;
}

TEST(Words, Groups) {
    struct Case {
        const char* group;
        const char* want;
    };
    const Case cases[] = {{"100", "CIEN "},         {"115", "CIENTO QUINCE"}, {" 21", "VEINTE y UNO"},
                          {"300", "TRESCIENTOS "},  {"  7", "SIETE"},
                          {"990", "NOVECIENTOS NOVENTA"}, {"000", ""}, {"   ", ""}, {"1a2", ""}};
    for (const auto& c : cases) EXPECT_EQ(common::TRESDIGIT(std::string_view(c.group)), c.want) << c.group;
    EXPECT_EQ(common::TRESDIGIT(19), "DIECINUEVE");
    EXPECT_EQ(common::TRESDIGIT(1000), "");
}

TEST(Words, Months) {
    EXPECT_EQ(common::MESANO(0), "APERTURA ");
    EXPECT_EQ(common::MESANO(9), "SETIEMBRE");
    EXPECT_EQ(common::MESANO(5), "MAYO     ");
    EXPECT_EQ(common::MESANO(13), " ");
    EXPECT_EQ(common::MESANO(-1), " ");
    for (int m = 0; m <= 12; ++m) EXPECT_EQ(common::MESANO(m).size(), 9u) << m;

    auto with_extra = common::VARIAMES();
    auto twelve = common::REGREMES();
    ASSERT_EQ(with_extra.size(), 13u);
    ASSERT_EQ(twelve.size(), 12u);
    EXPECT_EQ(with_extra.front(), "01 Ene");
    EXPECT_EQ(with_extra[8], "09 Set");
    EXPECT_EQ(with_extra.back(), "13 Adi");
    EXPECT_EQ(twelve.back(), "12 Dic");
}

}  // namespace
