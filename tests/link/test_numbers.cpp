#include "errors.h"
#include "numbers.h"
#include <QString>
#include <QStringList>
#include <cmath>
#include <cstdlib>
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
    for (const char16_t* text : {u"1e400", u"-1e309", u"9e99999999999999999999"})
        EXPECT_THROW(LeadingNumber(text), RunTimeError);
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

// Pass-file numbers take shortcuts: the value must be the C library's, and the integer road,
// where it is taken, must give what the double road gives (or step aside).
TEST(Numbers, ShortcutsAgreeWithTheLibraryAndTheDoubleRoad) {
    // Fields as the formats write them, halves, signs, the edges of the range and of 15 digits,
    // and texts that are no short plain number.
    QStringList texts = QString("05 2315 183.4 -0.5 +2.5 -3.5 1. .5 -.25 12.5.3 3rd 1e1 2E-x "
                                "32767.4 32767.5 -32768.5 -32768.6 40000 0.5000000000001 "
                                "0.50000000000000001 000000000000002.5 + - . Time 9999.5 ")
                            .split(' ');
    for (int i = -200000; i <= 200000; i += 7)
        texts << QString::number(i / 1000.0, 'f', 3) << QString::number(i * 1e-7, 'e', 6);
    // Angles and their neighbours: one decimal, then more digits that make or break a half.
    for (int i = -330000; i <= 330000; i += 7) {
        const QString angle = QString::number(i / 10.0, 'f', 1);
        for (const char* more : {"", "0", "00000001", "49", "51"})
            texts << angle + more;
    }
    int fast = 0;
    for (const QString& text : texts) {
        ASSERT_EQ(LeadingNumber(text), std::strtod(text.toLatin1().constData(), nullptr))
            << text.toStdString();
        const std::optional<ShortNumber> quick = ReadShortNumber(text);
        if (!quick)
            continue;
        ++fast;
        EXPECT_EQ(quick->value, RoundToInt16(LeadingNumber(text))) << text.toStdString();
        EXPECT_EQ(quick->length == text.size() && !text.isEmpty(), IsNumeric(text))
            << text.toStdString();
    }
    EXPECT_GT(fast, texts.size() / 2); // the road is taken, not always declined
    for (const char* declined : {"32767.5", "-32768.6", "40000", "1e1", "0.50000000000000001"})
        EXPECT_FALSE(ReadShortNumber(QString(declined))) << declined;
}
