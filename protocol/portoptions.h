#pragma once
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <optional>

namespace ravik {

// The --port N and --device PATH options that ravik-upload, ravik-rotctld and ravik-sim share,
// read and checked the same way.
class PortOptions {
public:
    // Without `deviceHelp` there is no --device option.
    explicit PortOptions(const QString& portHelp, const QString& deviceHelp = {},
                         const QString& deviceValue = QStringLiteral("PATH"));
    void addTo(QCommandLineParser& parser) const;

    // The port given, when it is a whole number from `lowest` to `highest`; none when --port was
    // not given. Sets `error` (and gives none) when it is something else.
    std::optional<int> port(const QCommandLineParser& parser, int lowest, int highest,
                            QString& error) const;
    // The device given; empty when none.
    QString device(const QCommandLineParser& parser) const;

    const QCommandLineOption& portOption() const { return port_; }
    const QCommandLineOption& deviceOption() const { return device_; }

private:
    QCommandLineOption port_;
    QCommandLineOption device_;
    bool hasDevice_;
};

// An option list in the house style: "  --name VALUE" in a column of `column` characters, then
// the description, whose further lines (after "\n") are indented to the same column.
QString optionList(const QList<QCommandLineOption>& options, qsizetype column = 21);

} // namespace ravik
