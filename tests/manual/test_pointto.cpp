#include "pointto.h"
#include <gtest/gtest.h>

using ravik::CheckPointTo;
using ravik::PointToCheck;

namespace {

struct Case {
    const char* azimuth;
    const char* elevation;
    PointToCheck::Kind kind;
    const char* wire; // the command for accepted cases
};

const Case Cases[] = {
    {"0", "0", PointToCheck::Accepted, "GP0 0\r"},
    {"180", "45", PointToCheck::Accepted, "GP180 45\r"},
    {"359", "90", PointToCheck::Accepted, "GP359 90\r"},
    {"360", "0", PointToCheck::AzimuthOutOfRange, nullptr},
    {"-1", "0", PointToCheck::AzimuthOutOfRange, nullptr},
    {"0", "91", PointToCheck::ElevationOutOfRange, nullptr},
    {"0", "-1", PointToCheck::ElevationOutOfRange, nullptr},
    {"400", "100", PointToCheck::AzimuthOutOfRange, nullptr}, // only the azimuth is told
    {"360", "abc", PointToCheck::AzimuthOutOfRange, nullptr}, // elevation never read
    {"12.5", "0", PointToCheck::Accepted, "GP12 0\r"},
    {"13.5", "0", PointToCheck::Accepted, "GP14 0\r"},
    {"359.5", "0", PointToCheck::AzimuthOutOfRange, nullptr},
    {"-0.4", "0", PointToCheck::Accepted, "GP0 0\r"},
    {"045", "0", PointToCheck::Accepted, "GP45 0\r"},
    {"  45  ", " 7 ", PointToCheck::Accepted, "GP45 7\r"},
    {"+45", "7", PointToCheck::Accepted, "GP45 7\r"},
    {"40000", "0", PointToCheck::ConversionFailed, nullptr},
    {"", "0", PointToCheck::ConversionFailed, nullptr},
    {"abc", "0", PointToCheck::ConversionFailed, nullptr},
    {"45", "abc", PointToCheck::ConversionFailed, nullptr},
    {"45", "", PointToCheck::ConversionFailed, nullptr},
    {"inf", "0", PointToCheck::ConversionFailed, nullptr},
    {"nan", "0", PointToCheck::ConversionFailed, nullptr},
    {"0x1A", "0", PointToCheck::ConversionFailed, nullptr},
};

TEST(PointTo, TypedValuesAreCheckedAndSent) {
    for (const Case& c : Cases) {
        SCOPED_TRACE(std::string(c.azimuth) + " / " + c.elevation);
        const PointToCheck check = CheckPointTo(QString::fromLatin1(c.azimuth),
                                                QString::fromLatin1(c.elevation), QLocale::c());
        EXPECT_EQ(check.kind, c.kind);
        if (c.wire) {
            EXPECT_EQ(ravik::PointToCommand(check.azimuth, check.elevation), QByteArray(c.wire));
        }
    }
}

TEST(PointTo, UsesTheLocalesDecimalSeparator) {
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(CheckPointTo(QStringLiteral("12,5"), QStringLiteral("3"), german).azimuth, 12);
    EXPECT_EQ(CheckPointTo(QStringLiteral("13,5"), QStringLiteral("3"), german).azimuth, 14);
}

} // namespace
