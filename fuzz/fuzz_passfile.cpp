// libFuzzer target: any bytes as a pass file, through detection, both parsers and the upload
// preparation. Only RunTimeError is an accepted outcome; anything else is a finding.
#include "conditioning.h"
#include "errors.h"
#include "linereader.h"
#include "parsers.h"
#include "passfile.h"
#include <QBuffer>
#include <cstddef>
#include <cstdint>

namespace {

using namespace ravik;

template <typename Step> void OverBuffer(const QByteArray& bytes, Step step) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(buffer);
    try {
        step(reader);
    } catch (const RunTimeError&) {
    }
}

void PrepareUpload(EphemerisTable& table) {
    try {
        conditionTable(table);
    } catch (const RunTimeError&) {
        return;
    }
    for (int index : pointsToSend(table)) {
        const QByteArray line = formatEphemerisLine(table, index);
        if (line.isEmpty() || !line.endsWith('\r')) {
            __builtin_trap();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const MonthNames months = [] {
        MonthNames names;
        fillMonthNames(names);
        return names;
    }();
    // Like the window: one token list and one table that keep their leftovers between files.
    static Tokens tokens;
    static EphemerisTable table;

    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    OverBuffer(bytes, [](LineReader& reader) {
        const Detection d = detectFormat(reader, tokens);
        if (d.recognised != d.nineCharacter + d.twoCharacter || d.lines > 51) {
            __builtin_trap();
        }
    });
    OverBuffer(bytes, [](LineReader& reader) { parseInstantTrack(reader, tokens, table); });
    if (table.points.size() > EphemerisTable::MaxPoints) {
        __builtin_trap();
    }
    PrepareUpload(table);
    OverBuffer(bytes, [](LineReader& reader) { parseNova(reader, tokens, table, months); });
    if (table.points.size() > EphemerisTable::MaxPoints) {
        __builtin_trap();
    }
    PrepareUpload(table);
    return 0;
}
