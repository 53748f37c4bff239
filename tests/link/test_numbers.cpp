#include "errors.h"
#include "numbers.h"
#include <QString>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace ravik;

TEST(Numbers, LeadingNumberTable) {
    const struct {
        const char* text;
        double value;
        bool numeric;
    } rows[] = {
        {"3", 3, true},          {"2.5", 2.5, true},   {"-2", -2, true},
        {"+7", 7, true},         {"1.", 1, true},      {".5", 0.5, true},
        {"-.25", -0.25, true},   {"1e1", 10, true},    {"1E+2", 100, true},
        {"25e-1", 2.5, true},    {"1e-400", 0, true},  {"3rd", 3, false},
        {"12.5.3", 12.5, false}, {"1e", 1, false},     {"1e+", 1, false},
        {"2E-x", 2, false},      {"1-2", 1, false},    {"0x1A", 0, false},
        {"nan", 0, false},       {"inf", 0, false},    {"COM3", 0, false},
        {".", 0, false},         {"+", 0, false},      {"-", 0, false},
        {"+-1", 0, false},       {"", 0, false},       {" 5", 0, false},
        {"183.2", 183.2, true},  {"12,75", 12, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const QString text = QString::fromLatin1(row.text);
        EXPECT_EQ(LeadingNumber(text), row.value);
        EXPECT_EQ(IsNumeric(text), row.numeric);
    }
}

TEST(Numbers, OverflowThrows) {
    const QString manyDigits = QString(400, u'9');
    for (const QString& text : {QString("1e400"), QString("-1e309"),
                                QString("9e99999999999999999999"), manyDigits, "-" + manyDigits})
        EXPECT_THROW(LeadingNumber(text), RunTimeError) << text.toStdString();
    // Too small for a double is no failure: it reads as zero.
    for (const QString& text : {QString("0.") + QString(400, u'0') + "1", QString("1000e-400"),
                                QString("-1e-400"), "0." + manyDigits + "e-400"})
        EXPECT_EQ(LeadingNumber(text), 0.0) << text.toStdString();
    EXPECT_TRUE(IsNumeric(u"1e400")); // the shape is a number; only the value does not fit
}

TEST(Numbers, RoundToInt16Table) {
    const struct {
        double value;
        int expected;
    } rows[] = {
        {12.5, 12},       {13.5, 14},   {-0.5, 0},        {2.5, 2},
        {3.5, 4},         {-2.5, -2},   {-3.5, -4},       {0.49999999999999994, 0},
        {1.5000001, 2},   {-1.2, -1},   {32767.4, 32767}, {-32768.5, -32768},
        {32766.5, 32766}, {-1e-300, 0}, {183.2, 183},
    };
    for (const auto& row : rows)
        EXPECT_EQ(RoundToInt16(row.value), row.expected) << row.value;

    for (double bad :
         {32767.5, 32768.0, -32768.6, -32769.0, 1e300, std::numeric_limits<double>::infinity(),
          -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()})
        EXPECT_THROW(RoundToInt16(bad), RunTimeError) << bad;
}
