#include "uploadjob.h"
#include "conditioning.h"
#include "controllerlink.h"
#include "errors.h"
#include "messagesink.h"
#include "numbers.h"
#include "passfile.h"
#include "progress.h"
#include "qtserialport.h"
#include "settings.h"
#include "upload.h"
#include "utcclock.h"
#include <cstdio>
#include <unistd.h>

using namespace ravik;

namespace ravik_upload {

namespace {

const QString SettingsFile = QStringLiteral("Ravik.ini");
// A status reply takes about 80 ms at 9600 baud; this only bounds a controller that never ends
// its reply.
constexpr int StatusWaitMs = 5000;
// The identification answer may still be arriving after the probe; a pause this long means it
// has ended.
constexpr int QuietLineMs = 50;
constexpr int QuietLineLimitMs = 500;

// Text for a shell: the controller's CR LF line ends become LF, and every piece ends its line.
QByteArray ShellText(const QString& text) {
    QByteArray bytes = text.toLatin1();
    bytes.replace("\r\n", "\n");
    if (!bytes.isEmpty() && !bytes.endsWith('\n'))
        bytes += '\n';
    return bytes;
}

void Write(std::FILE* stream, const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

// The link's message box, headless: outcome lines (found, not found, lost) go to stderr at once;
// replies replace one another and only the one asked for is printed, on stdout.
class ShellSink : public MessageSink {
public:
    explicit ShellSink(Progress& progress) : progress_(progress) {}
    void setText(const QString& text) override { latest_ = text; }
    void append(const QString& piece) override {
        ++lines_;
        progress_.interrupt();
        Write(stderr, ShellText(piece));
    }
    const QString& latest() const { return latest_; }
    int linesWritten() const { return lines_; }

private:
    Progress& progress_;
    QString latest_;
    int lines_ = 0;
};

void Error(const QString& text) {
    Write(stderr, ShellText(text));
}

// Asks for the status and waits until its reply has ended. False when it did not end in time or
// the controller went away.
bool ReadStatus(ControllerLink& link, Upload& upload) {
    const quint64 ends = link.endOfFileCount();
    link.requestStatus();
    upload.waitFor([&] { return link.endOfFileCount() > ends || !link.isOpen(); }, StatusWaitMs);
    return link.isOpen() && link.endOfFileCount() > ends;
}

// Lets the rest of the identification answer pass, so it is not taken for the first line's reply.
void LetAnswerEnd(ControllerLink& link, Upload& upload) {
    for (int waited = 0; waited < QuietLineLimitMs && link.isOpen(); waited += QuietLineMs) {
        const quint64 before = link.receiveCount();
        if (!upload.waitFor([&] { return link.receiveCount() != before || !link.isOpen(); },
                            QuietLineMs))
            return;
    }
}

} // namespace

ExitStatus RunUpload(const UploadOptions& options) {
    // The file is checked before the controller is looked for: a bad file is the same fault
    // whether or not the controller is there, and nothing reaches the controller for it.
    TokenList tokens;
    MonthNames monthNames;
    FillMonthNameTable(monthNames);
    EphemerisTable table;
    std::vector<QByteArray> lines;
    // Ravik.ini is read first, as the window reads it at start-up: the tokens of its line are what
    // an empty first line of the pass file is classified by, as at skypass's first press.
    const bool fromSettings = !options.port && options.device.isEmpty();
    std::optional<int> settingsPort; // none: the settings file gave no port (not found, port 0)
    if (fromSettings) {
        try {
            settingsPort = RoundToInt16(ReadPortSetting(tokens, SettingsFile));
        } catch (const RunTimeError&) {
        }
    }
    try {
        table.PassFileName = options.file;
        if (!options.lines &&
            LoadPassFile(options.file, tokens, table, monthNames) == PassFormat::Neither) {
            Error(NeitherFormatText);
            return NeitherFormat;
        }
        lines = options.lines ? *options.lines : PrepareUploadLines(table);
    } catch (const RunTimeError& e) {
        Error(CantAccessText + options.file + QStringLiteral(": ") +
              QString::fromStdString(e.what()));
        return CannotRead;
    }

    SystemClock clock;
    if (options.dryRun) {
        QByteArray out;
        if (options.clear)
            out += Bytes(Row(Command::Clear).first) + '\n';
        if (options.syncClock)
            out += TimeSetCommand(clock.nowUtc()).chopped(1) + '\n';
        for (const QByteArray& line : lines)
            out += line.chopped(1) + '\n';
        Write(stdout, out);
        return Uploaded;
    }

    Progress progress(stderr, isatty(fileno(stderr)) != 0);
    ShellSink sink(progress);
    QtSerialPort port(QStringLiteral("."));
    ControllerLink link(port, sink, LinkStyle::Uploader);
    if (!options.device.isEmpty())
        port.setDevicePath(options.device);
    if (!fromSettings)
        link.probe(options.port.value_or(1));
    else if (settingsPort)
        link.probe(*settingsPort);
    if (!link.isOpen()) {
        // A device that answers without the product word is closed without a line; a log
        // still needs one.
        if (sink.linesWritten() == 0)
            sink.append(NotFoundLine(link.portNumber()));
        if (!port.errorString().isEmpty())
            Error(QStringLiteral("ravik-upload: ") + port.errorString());
        return ControllerNotFound;
    }

    Upload upload(link);
    LetAnswerEnd(link, upload);
    if (options.clear) { // the button's command, then the status it asks for
        const quint64 ends = link.endOfFileCount();
        link.send(Command::Clear);
        upload.waitFor([&] { return link.endOfFileCount() > ends || !link.isOpen(); },
                       StatusWaitMs);
    }
    if (options.syncClock && link.writeData(TimeSetCommand(clock.nowUtc())))
        ReadStatus(link, upload); // as the window's button does: the status right after

    QObject::connect(&upload, &Upload::lineSent, &upload,
                     [&](int sent, int total) { progress.update(sent, total); });
    progress.start();
    if (const Upload::Outcome outcome = upload.send(lines); outcome != Upload::Outcome::Done) {
        progress.interrupt();
        // The file is not to blame for a controller that went away.
        if (outcome == Upload::Outcome::Lost)
            Error(QStringLiteral("ravik-upload: the controller on port %1 went away during the "
                                 "upload of %2")
                      .arg(link.portNumber())
                      .arg(options.file));
        else
            Error(CantAccessText + options.file + QStringLiteral(": ") +
                  upload.failureReason(outcome));
        return ControllerLost;
    }
    // The last reply may still be arriving; the status is asked for once it has ended.
    upload.waitFor([&] { return link.replyBuffer().isEmpty() || !link.isOpen(); }, StatusWaitMs);
    if (ReadStatus(link, upload))
        Write(stdout, ShellText(sink.latest()));
    else if (link.isOpen())
        Error(QStringLiteral("ravik-upload: the controller sent no complete status reply"));
    return Uploaded;
}

} // namespace ravik_upload
