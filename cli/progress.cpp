#include "progress.h"
#include <QByteArray>
#include <QString>

namespace ravik {

namespace {

QString formatDuration(qint64 ms) {
    const qint64 s = (ms + 500) / 1000;
    if (s >= 3600)
        return QString::asprintf("%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return QString::asprintf("%lld:%02lld", s / 60, s % 60);
}

} // namespace

void Progress::update(int sent, int total) {
    if (total <= 0)
        return;
    const qint64 leftMs =
        clock_.isValid() && sent > 0 ? clock_.elapsed() * qint64(total - sent) / qint64(sent) : 0;
    const int percent = int(qint64(sent) * 100 / total);
    QString text;
    if (terminal_) {
        constexpr int Width = 30;
        const int filled = int(qint64(sent) * Width / total);
        text =
            QStringLiteral("\r[%1%2] %3/%4 lines, %5 left\033[K")
                .arg(QString(filled, QLatin1Char('#')), QString(Width - filled, QLatin1Char('.')))
                .arg(sent)
                .arg(total)
                .arg(formatDuration(leftMs));
        barShown_ = sent < total;
        if (!barShown_)
            text += QLatin1Char('\n');
    } else {
        const int tenth = int(qint64(sent) * 10 / total);
        if (tenth <= lastTenth_)
            return;
        lastTenth_ = tenth;
        text = QStringLiteral("Sent %1 of %2 lines (%3%), %4 left\n")
                   .arg(sent)
                   .arg(total)
                   .arg(percent)
                   .arg(formatDuration(leftMs));
    }
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream_);
    std::fflush(stream_);
}

void Progress::interrupt() {
    if (!barShown_)
        return;
    barShown_ = false;
    std::fputc('\n', stream_);
}

} // namespace ravik
