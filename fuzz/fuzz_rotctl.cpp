// libFuzzer target: any bytes from the network as rotctld request lines, through the request
// parser and the reply formatter. A checked request must hold only what the controller accepts.
#include "rotctlprotocol.h"
#include <cstddef>
#include <cstdint>

using namespace ravik::rotctl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QByteArrayView line :
         QByteArray::fromRawData(bytes.data(), bytes.size()).split('\n')) {
        const Request r = parseRequest(line);
        if (r.op == Op::SetPos && r.error == Ok &&
            (r.azimuth < 0 || r.azimuth > 359 || r.elevation < 0 || r.elevation > 90))
            __builtin_trap();
        const QByteArray reply = formatReply(r, r.error, positionLines(r.azimuth, r.elevation));
        if (!reply.endsWith('\n') ||
            (r.separator && !reply.endsWith("RPRT " + QByteArray::number(r.error) + '\n')))
            __builtin_trap();
    }
    return 0;
}
