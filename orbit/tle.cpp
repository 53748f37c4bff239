#include "tle.h"

#include "timescale.h"

#include <charconv>
#include <cmath>

namespace ravik::orbit {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Columns are numbered from 1, as in every description of the format.
std::string_view columns(std::string_view line, std::size_t first, std::size_t last) {
    if (line.size() < first)
        return {};
    return line.substr(first - 1, last - first + 1);
}

bool allDigits(std::string_view s) {
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// A plain decimal number, signs and leading decimal point allowed (" .00016717", "-.0002").
std::optional<double> decimal(std::string_view field) {
    std::string_view s = trim(field);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || s.front() == '-' || s.front() == '+')
        return std::nullopt;
    double value = 0;
    const auto [end, ec] =
        std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::fixed);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

// The compact exponent form: " 10270-3" is 0.10270e-3, "-11606-4" is -0.11606e-4. A blank
// field is zero.
std::optional<double> impliedExponent(std::string_view field) {
    std::string_view s = trim(field);
    if (s.empty())
        return 0.0;
    bool negative = false;
    if (s.front() == '-' || s.front() == '+') {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    std::size_t digits = 0;
    while (digits < s.size() && s[digits] >= '0' && s[digits] <= '9')
        ++digits;
    if (digits == 0)
        return std::nullopt;
    const std::string_view mantissa = s.substr(0, digits);
    std::string_view rest = s.substr(digits);
    int exponent = 0;
    if (!rest.empty()) {
        if (rest.size() != 2 || (rest[0] != '-' && rest[0] != '+') || rest[1] < '0' ||
            rest[1] > '9')
            return std::nullopt;
        exponent = (rest[1] - '0') * (rest[0] == '-' ? -1 : 1);
    }
    double value = 0;
    for (char c : mantissa)
        value = value * 10.0 + (c - '0');
    value = value / std::pow(10.0, static_cast<double>(mantissa.size())) *
            std::pow(10.0, static_cast<double>(exponent));
    return negative ? -value : value;
}

// Five digits, or Alpha-5 (a letter other than I and O, then four digits: A0000 is 100000).
std::optional<int> catalogNumber(std::string_view field) {
    std::string_view s = trim(field);
    if (s.empty() || s.size() > 5)
        return std::nullopt;
    int base = 0;
    if (s.size() == 5 && s.front() >= 'A' && s.front() <= 'Z') {
        const char c = s.front();
        if (c == 'I' || c == 'O')
            return std::nullopt;
        base = (10 + (c - 'A') - (c > 'I' ? 1 : 0) - (c > 'O' ? 1 : 0)) * 10000;
        s.remove_prefix(1);
    }
    if (!allDigits(s))
        return std::nullopt;
    int value = 0;
    for (char c : s)
        value = value * 10 + (c - '0');
    return base + value;
}

bool fail(std::string* why, const char* reason) {
    if (why)
        *why = reason;
    return false;
}

bool isLine(std::string_view line, char number) {
    return line.size() >= 2 && line[0] == number && line[1] == ' ';
}

} // namespace

double Tle::epochJd() const {
    return julianDate(epochYear, 1, 1, 0, 0, 0.0) + (epochDay - 1.0);
}

int tleChecksum(std::string_view line) {
    int sum = 0;
    for (std::size_t i = 0; i < line.size() && i < 68; ++i) {
        const char c = line[i];
        if (c >= '0' && c <= '9')
            sum += c - '0';
        else if (c == '-')
            sum += 1;
    }
    return sum % 10;
}

std::optional<Tle> parseTle(std::string_view line1, std::string_view line2, bool checkChecksums,
                            std::string* why) {
    line1 = trim(line1);
    line2 = trim(line2);
    auto refuse = [why](const char* reason) {
        fail(why, reason);
        return std::optional<Tle>();
    };
    if (!isLine(line1, '1'))
        return refuse("line 1 does not start with \"1 \"");
    if (!isLine(line2, '2'))
        return refuse("line 2 does not start with \"2 \"");
    const std::size_t minimum = checkChecksums ? 69 : 68;
    if (line1.size() < minimum)
        return refuse("line 1 is shorter than 69 columns");
    if (line2.size() < minimum)
        return refuse("line 2 is shorter than 69 columns");
    if (checkChecksums) {
        if (line1[68] != '0' + tleChecksum(line1))
            return refuse("line 1 fails its checksum");
        if (line2[68] != '0' + tleChecksum(line2))
            return refuse("line 2 fails its checksum");
    }

    Tle tle;
    const auto number1 = catalogNumber(columns(line1, 3, 7));
    const auto number2 = catalogNumber(columns(line2, 3, 7));
    if (!number1 || !number2)
        return refuse("the catalogue number cannot be read");
    if (*number1 != *number2)
        return refuse("lines 1 and 2 have different catalogue numbers");
    tle.catalogNumber = *number1;

    const std::string_view year = columns(line1, 19, 20);
    if (!allDigits(year))
        return refuse("the epoch year cannot be read");
    const int twoDigits = (year[0] - '0') * 10 + (year[1] - '0');
    tle.epochYear = twoDigits >= 57 ? 1900 + twoDigits : 2000 + twoDigits;
    const auto day = decimal(columns(line1, 21, 32));
    if (!day || *day < 1.0 || *day >= 367.0)
        return refuse("the epoch day cannot be read");
    tle.epochDay = *day;

    const auto ndot = decimal(columns(line1, 34, 43));
    const auto nddot = impliedExponent(columns(line1, 45, 52));
    const auto bstar = impliedExponent(columns(line1, 54, 61));
    if (!ndot)
        return refuse("the first derivative of the mean motion cannot be read");
    if (!nddot)
        return refuse("the second derivative of the mean motion cannot be read");
    if (!bstar)
        return refuse("the drag term (B*) cannot be read");
    tle.meanMotionDot = *ndot;
    tle.meanMotionDdot = *nddot;
    tle.bstar = *bstar;

    struct Angle {
        std::size_t first, last;
        double Tle::*field;
        const char* reason;
    };
    static constexpr Angle Angles[] = {
        {9, 16, &Tle::inclinationDeg, "the inclination cannot be read"},
        {18, 25, &Tle::raanDeg, "the right ascension of the node cannot be read"},
        {35, 42, &Tle::argPerigeeDeg, "the argument of perigee cannot be read"},
        {44, 51, &Tle::meanAnomalyDeg, "the mean anomaly cannot be read"},
        {53, 63, &Tle::meanMotionRevPerDay, "the mean motion cannot be read"},
    };
    for (const Angle& a : Angles) {
        const auto value = decimal(columns(line2, a.first, a.last));
        if (!value)
            return refuse(a.reason);
        tle.*a.field = *value;
    }
    const std::string_view ecc = trim(columns(line2, 27, 33));
    if (!allDigits(ecc))
        return refuse("the eccentricity cannot be read");
    double eccentricity = 0;
    for (char c : ecc)
        eccentricity = eccentricity * 10.0 + (c - '0');
    tle.eccentricity = eccentricity / std::pow(10.0, static_cast<double>(ecc.size()));
    if (why)
        why->clear();
    return tle;
}

TleFile readTles(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }

    TleFile file;
    auto failSet = [&file](int line, std::string reason) {
        if (!file.error)
            file.error = TleReadError{line, std::move(reason)};
    };
    auto addSet = [&](std::string_view name, std::string_view l1, int n1, std::string_view l2,
                      int n2) {
        std::string why;
        auto tle = parseTle(l1, l2, true, &why);
        if (!tle) {
            failSet(why.starts_with("line 2") ? n2 : n1, why);
            return;
        }
        // Control characters would end up on the terminal and in file names: spaces instead.
        std::string clean(name);
        for (char& c : clean)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                c = ' ';
        std::string_view trimmed = trim(clean);
        if (trimmed.starts_with("0 "))
            trimmed = trim(trimmed.substr(2));
        tle->name = std::string(trimmed);
        file.sets.push_back(std::move(*tle));
    };

    // Gpredict keeps one satellite per .sat file, in ini form: NAME=, TLE1=, TLE2= keys.
    bool gpredict = false;
    for (std::string_view line : lines)
        gpredict = gpredict || trim(line).starts_with("TLE1=");
    if (gpredict) {
        std::string_view name, line1;
        int line1Number = 0;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string_view line = trim(lines[i]);
            const int number = static_cast<int>(i) + 1;
            if (line.starts_with("NAME=")) {
                name = line.substr(5);
            } else if (line.starts_with("TLE1=")) {
                line1 = line.substr(5);
                line1Number = number;
            } else if (line.starts_with("TLE2=")) {
                if (line1Number == 0)
                    failSet(number, "TLE2 comes without TLE1");
                else
                    addSet(name, line1, line1Number, line.substr(5), number);
                line1Number = 0;
                name = {};
            }
        }
        if (line1Number != 0)
            failSet(line1Number, "TLE1 comes without TLE2");
    } else {
        std::string_view name;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string_view line = trim(lines[i]);
            const int number = static_cast<int>(i) + 1;
            if (line.empty()) {
                continue;
            } else if (isLine(line, '1') && i + 1 < lines.size() &&
                       isLine(trim(lines[i + 1]), '2')) {
                addSet(name, line, number, lines[i + 1], number + 1);
                name = {};
                ++i;
            } else if (isLine(line, '1') && line.size() >= 60) {
                failSet(number, "line 1 of a set is not followed by its line 2");
                name = {};
            } else if (isLine(line, '2') && line.size() >= 60) {
                failSet(number, "line 2 of a set comes without its line 1");
                name = {};
            } else {
                name = line; // a name line (3-line sets)
            }
        }
    }
    if (file.sets.empty() && !file.error)
        file.error = TleReadError{0, "no two-line element set in the file"};
    return file;
}

const Tle* findSatellite(const std::vector<Tle>& sets, std::string_view key) {
    key = trim(key);
    if (allDigits(key) && key.size() <= 9) {
        int number = 0;
        for (char c : key)
            number = number * 10 + (c - '0');
        for (const Tle& tle : sets)
            if (tle.catalogNumber == number)
                return &tle;
        return nullptr;
    }
    for (const Tle& tle : sets)
        if (tle.name == key)
            return &tle;
    return nullptr;
}

} // namespace ravik::orbit
