#include "errors.h"
#include "numbers.h"
#include <QString>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace ravik;

TEST(Numbers, LeadingNumberTable) {
    // clang-format off
    const std::tuple<const char*, double, bool> rows[] = {
        {"3", 3, true}, {"-2", -2, true}, {"+7", 7, true}, {"1.", 1, true}, {".5", 0.5, true},
        {"-.25", -0.25, true}, {"1E+2", 100, true}, {"25e-1", 2.5, true}, {"1e-400", 0, true},
        {"3rd", 3, false}, {"12.5.3", 12.5, false}, {"1e", 1, false}, {"1e+", 1, false},
        {"2E-x", 2, false}, {"1-2", 1, false}, {"0x1A", 0, false}, {"nan", 0, false},
        {"inf", 0, false}, {".", 0, false}, {"-", 0, false}, {"+-1", 0, false}, {"", 0, false},
        {" 5", 0, false}, {"12,75", 12, false}};
    // clang-format on
    for (const auto& [text, value, numeric] : rows) {
        EXPECT_EQ(leadingNumber(QString(text)), value) << text;
        EXPECT_EQ(isNumeric(QString(text)), numeric) << text;
    }
}

TEST(Numbers, TooLargeThrowsTooSmallIsZero) {
    const QString many(400, u'9');
    for (const QString& text :
         {QString("1e400"), QString("-1e309"), many, "-" + many, QString("9e99999999999999999999")})
        EXPECT_THROW(leadingNumber(text), RunTimeError) << text.toStdString();
    for (const QString& text :
         {"0." + QString(400, u'0') + "1", QString("1000e-400"), "-0." + many + "e-400"})
        EXPECT_EQ(leadingNumber(text), 0.0) << text.toStdString();
    EXPECT_TRUE(isNumeric(u"1e400")); // the shape is a number; only the value does not fit
}

TEST(Numbers, RoundToInt16Table) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, int> rows[] = {
        {12.5, 12},       {13.5, 14},       {-0.5, 0},         {-2.5, -2},
        {-3.5, -4},       {1.5000001, 2},   {-1.2, -1},        {0.49999999999999994, 0},
        {32766.5, 32766}, {32767.4, 32767}, {-32768.5, -32768}};
    for (const auto& [value, expected] : rows)
        EXPECT_EQ(roundToInt16(value), expected) << value;
    for (double bad : {32767.5, -32768.6, 1e300, inf, -inf, std::nan("")})
        EXPECT_THROW(roundToInt16(bad), RunTimeError) << bad;
}
