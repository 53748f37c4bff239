#include "settings.h"
#include "errors.h"
#include "linereader.h"
#include "numbers.h"
#include <QFile>

namespace ravik {

namespace {

constexpr char DefaultContent[] = "Comm Port 1\r\n";
constexpr qint64 DefaultSize = sizeof(DefaultContent) - 1;

// The port number from the first line; throws when the file cannot give one.
double ReadFirstLine(TokenList& tokens, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RunTimeError("cannot open settings file: " + file.errorString().toStdString());
    LineReader reader(file);
    if (reader.atEnd())
        throw RunTimeError("settings file is empty");
    const QString line = reader.readLine();
    file.close();
    // Any shape but three tokens is not a failure: port 1, and the file stays as it is.
    if (TokenizeLine(line, tokens) != 3)
        return 1.0;
    return LeadingNumber(tokens[2]);
}

void WriteDefault(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw RunTimeError("cannot write settings file: " + file.errorString().toStdString());
    if (file.write(DefaultContent, DefaultSize) != DefaultSize || !file.flush())
        throw RunTimeError("cannot write settings file: " + file.errorString().toStdString());
    file.close();
}

} // namespace

double ReadPortSetting(TokenList& tokens, const QString& path) {
    try {
        return ReadFirstLine(tokens, path);
    } catch (const RunTimeError&) {
        WriteDefault(path);
        return 1.0;
    }
}

} // namespace ravik
