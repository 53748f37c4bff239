#include "portoptions.h"

namespace ravik {

PortOptions::PortOptions(const QString& portHelp, const QString& deviceHelp,
                         const QString& deviceValue)
    : port_(QStringLiteral("port"), portHelp, QStringLiteral("N")),
      device_(QStringLiteral("device"), deviceHelp, deviceValue),
      hasDevice_(!deviceHelp.isEmpty()) {}

void PortOptions::addTo(QCommandLineParser& parser) const {
    parser.addOption(port_);
    if (hasDevice_)
        parser.addOption(device_);
}

std::optional<int> PortOptions::port(const QCommandLineParser& parser, int lowest, int highest,
                                     QString& error) const {
    if (!parser.isSet(port_))
        return std::nullopt;
    bool ok = false;
    const int number = parser.value(port_).toInt(&ok);
    if (ok && number >= lowest && number <= highest)
        return number;
    error = QStringLiteral("--port needs a whole number from %1 to %2").arg(lowest).arg(highest);
    return std::nullopt;
}

QString PortOptions::device(const QCommandLineParser& parser) const {
    return hasDevice_ ? parser.value(device_) : QString();
}

QString optionList(const QList<QCommandLineOption>& options, qsizetype column) {
    QString text;
    for (const QCommandLineOption& option : options) {
        QString name = QStringLiteral("  --") + option.names().constLast();
        if (!option.valueName().isEmpty())
            name += u' ' + option.valueName();
        text += name.leftJustified(column - 1) + u' ';
        text += option.description().replace(u'\n', u'\n' + QString(column, u' ')) + u'\n';
    }
    return text;
}

} // namespace ravik
