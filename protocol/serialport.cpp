#include "serialport.h"

namespace ravik {

void SerialPort::deliver(const QByteArray& bytes) {
    qsizetype from = 0;
    while (from < bytes.size() && isOpen()) {
        const qsizetype eof = bytes.indexOf(EndOfFileChar, from);
        const qsizetype end = eof < 0 ? bytes.size() : eof;
        if (end > from) {
            input_.append(bytes.constData() + from, end - from);
            emit received();
        }
        if (eof < 0 || !isOpen())
            break;
        emit endOfFile();
        from = eof + 1;
    }
}

QByteArray SerialPort::takeDelivered() {
    QByteArray out;
    out.swap(input_);
    return out;
}

} // namespace ravik
