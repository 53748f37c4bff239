#include "uploadjob.h"
#include "conditioning.h"
#include "controllerlink.h"
#include "errors.h"
#include "numbers.h"
#include "passfile.h"
#include "progress.h"
#include "qtserialport.h"
#include "replytext.h"
#include "replywait.h"
#include "settings.h"
#include "upload.h"
#include "utcclock.h"
#include "words.h"
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

namespace ravik {

namespace {

const QString SettingsFile = QStringLiteral("Ravik.ini");
// A status reply takes about 80 ms at 9600 baud; this only bounds a controller that never ends
// its reply.
constexpr int StatusWaitMs = 5000;
// The identification answer may still be arriving after the probe; a pause this long means it
// has ended.
constexpr int QuietLineMs = 50;
constexpr int QuietLineRounds = 10;

// Text for a shell: the controller's CR LF line ends become LF, and every piece ends its line.
QByteArray shellText(const QString& text) {
    QByteArray bytes = text.toLatin1();
    bytes.replace("\r\n", "\n");
    if (!bytes.isEmpty() && !bytes.endsWith('\n'))
        bytes += '\n';
    return bytes;
}

void writeOut(std::FILE* stream, const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

void printError(const QString& text) {
    writeOut(stderr, shellText(text));
}

// Finding the controller, setting its clock, the upload and the status read, one step after the
// other as the controller's events come; the exit status ends the application's event loop.
class Session : public QObject {
public:
    // `port`: the port to probe; none when Ravik.ini named none.
    Session(const UploadOptions& options, std::optional<int> port, std::vector<QByteArray> lines)
        : options_(options), portNumber_(port), lines_(std::move(lines)) {
        if (!options.device.isEmpty())
            port_.setDevicePath(options.device);
        // Outcome lines go to stderr at once, with the windows' wording. A device that answers
        // without the product word gets the not-found line too: a log needs one.
        connect(&link_, &ControllerLink::found, this, [this](int n) {
            say(foundLine(n));
            letAnswerEnd();
        });
        connect(&link_, &ControllerLink::notFound, this, [this](int n) {
            say(notFoundLine(n));
            notFound();
        });
        connect(&link_, &ControllerLink::lost, this,
                [this] { say(notFoundLine(link_.portNumber())); });
        // Made after the lines above, so a loss is told before the upload reports its end.
        upload_.emplace(link_);
        connect(&*upload_, &Upload::lineSent, this,
                [this](int sent, int total) { progress_.update(sent, total); });
        connect(&*upload_, &Upload::finished, this, &Session::uploaded);
        quiet_.setSingleShot(true);
        connect(&quiet_, &QTimer::timeout, this, &Session::answerEnded);
    }

    void start() {
        if (portNumber_)
            return link_.probe(*portNumber_);
        say(notFoundLine(0));
        notFound();
    }

private:
    void notFound() {
        if (!port_.errorString().isEmpty())
            printError(QStringLiteral("ravik-upload: ") + port_.errorString());
        end(ControllerNotFound);
    }

    void letAnswerEnd() {
        // The identification answer may still be arriving; it must not be taken for the first
        // line's reply. It has ended after a pause of QuietLineMs, or after QuietLineRounds.
        connect(&link_, &ControllerLink::received, &quiet_, [this] {
            if (++quietRounds_ < QuietLineRounds)
                quiet_.start(QuietLineMs);
            else
                answerEnded();
        });
        connect(&link_, &ControllerLink::lost, &quiet_, [this] { answerEnded(); });
        quiet_.start(QuietLineMs);
    }

    void say(const QString& line) {
        progress_.interrupt();
        writeOut(stderr, shellText(line));
    }

    void answerEnded() {
        quiet_.stop();
        link_.disconnect(&quiet_);
        if (options_.clear) { // the button's command, then the status it asks for
            link_.send(Command::Clear);
            return awaitReply(link_, StatusWaitMs, [this](const auto&) { setClock(); });
        }
        setClock();
    }

    void setClock() {
        if (options_.syncClock && link_.writeData(timeSetCommand(clock_.nowUtc()))) {
            // As the window's button does: the status right after.
            link_.requestStatus();
            awaitReply(link_, StatusWaitMs, [this](const auto&) { send(); });
            return;
        }
        send();
    }

    void send() {
        progress_.start();
        upload_->start(lines_);
    }

    void uploaded(Upload::Outcome outcome) {
        if (outcome != Upload::Outcome::Done) {
            progress_.interrupt();
            // The file is not to blame for a controller that went away.
            if (outcome == Upload::Outcome::Lost)
                printError(
                    QStringLiteral("ravik-upload: the controller on port %1 went away during "
                                   "the upload of %2")
                        .arg(link_.portNumber())
                        .arg(options_.file));
            else
                printError(CantAccessText + options_.file + QStringLiteral(": ") +
                           upload_->failureReason(outcome));
            return end(ControllerLost);
        }
        // The last reply may still be arriving; the status is asked for once it has ended.
        if (link_.isOpen() && !link_.replyBuffer().isEmpty())
            awaitReply(link_, StatusWaitMs, [this](const auto&) { readStatus(); });
        else
            readStatus();
    }

    void readStatus() {
        link_.requestStatus();
        awaitReply(link_, StatusWaitMs, [this](const std::optional<QByteArray>& reply) {
            if (reply)
                writeOut(stdout, shellText(statusReplyText(*reply)));
            else if (link_.isOpen())
                printError(
                    QStringLiteral("ravik-upload: the controller sent no complete status reply"));
            end(Uploaded);
        });
    }

    void end(ExitStatus status) { QCoreApplication::exit(status); }

    const UploadOptions& options_;
    std::optional<int> portNumber_;
    std::vector<QByteArray> lines_;
    SystemClock clock_;
    Progress progress_{stderr, isatty(fileno(stderr)) != 0};
    QtSerialPort port_{QStringLiteral(".")};
    ControllerLink link_{port_};
    std::optional<Upload> upload_;
    QTimer quiet_;
    int quietRounds_ = 0;
};

} // namespace

ExitStatus runUpload(const UploadOptions& options) {
    // The file is checked before the controller is looked for: a bad file is the same fault
    // whether or not the controller is there, and nothing reaches the controller for it.
    Tokens tokens;
    MonthNames monthNames;
    fillMonthNames(monthNames);
    EphemerisTable table;
    std::vector<QByteArray> lines;
    // Ravik.ini is read first, as the window reads it at start-up: the tokens of its line are what
    // an empty first line of the pass file is classified by, as at skypass's first press.
    const bool fromSettings = !options.port && options.device.isEmpty();
    std::optional<int> settingsPort; // none: the settings file gave no port (not found, port 0)
    if (fromSettings) {
        try {
            settingsPort = roundToInt16(readPortSetting(tokens, SettingsFile));
        } catch (const RunTimeError&) {
        }
    }
    try {
        table.fileName = options.file;
        if (!options.lines &&
            loadPassFile(options.file, tokens, table, monthNames) == PassFormat::Neither) {
            printError(NeitherFormatText);
            return NeitherFormat;
        }
        lines = options.lines ? *options.lines : prepareUploadLines(table);
    } catch (const RunTimeError& e) {
        printError(CantAccessText + options.file + QStringLiteral(": ") +
                   QString::fromStdString(e.what()));
        return CannotRead;
    }

    SystemClock clock;
    if (options.dryRun) {
        QByteArray out;
        if (options.clear)
            out += toBytes(commandRow(Command::Clear).first) + '\n';
        if (options.syncClock)
            out += timeSetCommand(clock.nowUtc()).chopped(1) + '\n';
        for (const QByteArray& line : lines)
            out += line.chopped(1) + '\n';
        writeOut(stdout, out);
        return Uploaded;
    }

    Session session(options, fromSettings ? settingsPort : options.port.value_or(1),
                    std::move(lines));
    QTimer::singleShot(0, &session, &Session::start);
    return ExitStatus(QCoreApplication::exec());
}

} // namespace ravik
