// A bounded soak of skypass's main road: a window in this process over a real pseudo-terminal
// uploads the sample passes to ravik-sim again and again, with the buffer cleared and the status
// asked between uploads. Memory must stay flat, and every reply must reach the message box, in
// order, none lost. RAVIK_SOAK_SECONDS sets the length (default 120).
#include "conditioning.h"
#include "fakedialogs.h"
#include "parsers.h"
#include "passfile.h"
#include "qtapp.h"
#include "qtserialport.h"
#include "simprocess.h"
#include "uploaderwindow.h"
#include "utcclock.h"
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using ravik::test::SimProcess;

namespace {

struct FixedZone : ravik::TimeZoneQuery {
    ravik::TimeZoneInfo query() const override { return {1, 0, 60}; }
};

int SoakSeconds() {
    bool ok = false;
    const int s = qEnvironmentVariableIntValue("RAVIK_SOAK_SECONDS", &ok);
    return ok && s > 0 ? s : 120;
}

// Resident memory of this process, from the kernel's own account; 0 when unreadable.
long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
    }
    return 0;
}

QString Sample(const char* name) {
    return QStringLiteral(RAVIK_SOURCE_DIR "/uploader/samples/") + QString::fromLatin1(name);
}

// The bytes an upload of this pass puts on the line, worked out by the functional core.
QByteArray UploadBytes(const QString& file) {
    ravik::TokenList tokens;
    ravik::EphemerisTable table;
    ravik::MonthNames months;
    ravik::FillMonthNameTable(months);
    if (ravik::LoadPassFile(file, tokens, table, months) == ravik::PassFormat::Neither)
        return {};
    ravik::ConditionTable(table);
    QByteArray bytes;
    for (int index : ravik::PointsToSend(table))
        bytes += ravik::FormatEphemerisLine(table, index);
    return bytes;
}

// "P12", "S0": a reply kind and its point count.
std::string Tag(char kind, long count) {
    std::string tag(1, kind);
    tag += std::to_string(count);
    return tag;
}

// Every text the message box was set to, reduced to what the order check needs: "" for an
// emptied box, "reading", "P<n>" for an upload line's reply, "S<n>" for a status reply, and
// the text itself for anything else.
struct Transcript {
    std::vector<std::string> entries;

    void record(const QString& text) {
        static const QRegularExpression reply(
            QStringLiteral("^Motion (on|off)  Points (\\d+)\r\n$"));
        // However the controller breaks its status into lines, the point count comes last.
        static const QRegularExpression status(
            QStringLiteral("^Motion (on|off)  Mode \\d.*\\bPoints (\\d+)\r\n$"),
            QRegularExpression::DotMatchesEverythingOption);
        if (text.isEmpty())
            entries.emplace_back();
        else if (text == QStringLiteral("Reading the status"))
            entries.emplace_back("reading");
        else if (const auto m = reply.match(text); m.hasMatch())
            entries.push_back(Tag('P', m.captured(2).toLong()));
        else if (const auto s = status.match(text); s.hasMatch())
            entries.push_back(Tag('S', s.captured(2).toLong()));
        else
            entries.push_back(text.toStdString());
    }
    // The entries since `mark`.
    std::vector<std::string> since(size_t mark) const {
        return {entries.begin() + std::ptrdiff_t(mark), entries.end()};
    }
};

// Reads the simulator's log of received bytes piece by piece, so checking it costs no memory
// that grows with the run.
class LogReader {
public:
    explicit LogReader(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~LogReader() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    // The next `count` bytes, or fewer when they do not come within the deadline.
    std::string next(size_t count) {
        std::string got(count, '\0');
        size_t have = 0;
        QElapsedTimer waited;
        waited.start();
        while (fd_ >= 0 && have < count && waited.elapsed() < 10000) {
            const ssize_t n = ::pread(fd_, got.data() + have, count - have, offset_);
            if (n > 0) {
                have += size_t(n);
                offset_ += n;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        got.resize(have);
        return got;
    }
    off_t offset() const { return offset_; }

private:
    int fd_;
    off_t offset_ = 0;
};

struct Soak {
    QTemporaryDir dir;
    SimProcess sim;
    std::unique_ptr<ravik::QtSerialPort> port;
    FakeDialogs dialogs;
    FixedZone zone;
    ravik::SystemClock clock;
    std::unique_ptr<skypass::frmDataUploader> window;
    Transcript transcript;

    bool start() {
        TestApp();
        if (!sim.start(dir.path().toStdString(), 1))
            return false;
        QFile ini(dir.filePath(QStringLiteral("Ravik.ini")));
        if (!ini.open(QIODevice::WriteOnly) || ini.write("Comm Port 1\r\n") != 13)
            return false;
        ini.close();
        port = std::make_unique<ravik::QtSerialPort>(dir.path());
        // A short tick keeps the wait after each upload short.
        skypass::Platform platform{port.get(), &dialogs, &zone, &clock, ini.fileName(), 20};
        window = std::make_unique<skypass::frmDataUploader>(platform);
        QObject::connect(&window->messages(), &ravik::MessageText::replaced,
                         [this] { transcript.record(window->messages().text()); });
        window->Form_Load();
        window->show();
        return window->link().isOpen();
    }
    // Runs the event loop until the box shows a status reply recorded after `mark`; the deadline
    // only keeps a lost reply from hanging the test.
    void awaitStatus(size_t mark) {
        QElapsedTimer waited;
        waited.start();
        const auto shown = [&] {
            const auto& e = transcript.entries;
            return e.size() > mark && e.back().starts_with('S');
        };
        while (!shown() && waited.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    void click(const char* name) {
        window->findChild<QPushButton*>(QString::fromLatin1(name))->click();
    }
};

TEST(Soak, RepeatedUploadsKeepMemoryFlatAndEveryReply) {
    const struct Pass {
        const char* file;
    } passes[] = {{"pass-nova.out"}, {"pass-instanttrack.out"}};
    std::vector<QByteArray> uploads;
    for (const Pass& p : passes) {
        uploads.push_back(UploadBytes(Sample(p.file)));
        ASSERT_GT(uploads.back().count('\r'), 1) << p.file;
    }

    Soak soak;
    ASSERT_TRUE(soak.start()) << soak.sim.error();
    LogReader log(soak.sim.logPath());
    ASSERT_EQ(log.next(1), "?");
    const int seconds = SoakSeconds();
    // The first and the last minute, or halves of a shorter run.
    const double window = std::min(60.0, seconds / 2.0);
    long firstPeak = 0, lastPeak = 0;
    int cycles = 0;
    long lines = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000LL) {
        const size_t which = size_t(cycles) % uploads.size();
        const QByteArray& upload = uploads[which];
        const int count = int(upload.count('\r'));
        SCOPED_TRACE(QStringLiteral("cycle %1, %2")
                         .arg(cycles)
                         .arg(QLatin1String(passes[which].file))
                         .toStdString());

        size_t mark = soak.transcript.entries.size();
        soak.click("cmdClear");
        soak.awaitStatus(mark);
        ASSERT_EQ(soak.transcript.since(mark), (std::vector<std::string>{"reading", "S0"}));

        mark = soak.transcript.entries.size();
        soak.dialogs.files << Sample(passes[which].file);
        soak.window->cmdOpen_Click();
        soak.awaitStatus(mark);
        std::vector<std::string> expected{""};
        for (int n = 1; n <= count; ++n)
            expected.push_back(Tag('P', n));
        expected.push_back("reading");
        expected.push_back(Tag('S', count));
        ASSERT_EQ(soak.transcript.since(mark), expected);
        lines += count;

        mark = soak.transcript.entries.size();
        soak.window->cmdStatus_Click();
        soak.awaitStatus(mark);
        ASSERT_EQ(soak.transcript.since(mark),
                  (std::vector<std::string>{"reading", Tag('S', count)}));

        // Everything written reached the controller, in order and nothing else.
        const QByteArray wire = "XZ" + upload + "ZZ";
        ASSERT_EQ(log.next(size_t(wire.size())), wire.toStdString());
        ASSERT_TRUE(soak.dialogs.shown.empty()) << soak.dialogs.shown.front().text.toStdString();
        ASSERT_TRUE(soak.window->link().isOpen());
        // Keeps the transcript itself from looking like a leak.
        soak.transcript.entries.clear();
        const double at = clock.elapsed() / 1000.0;
        const long kib = ResidentKiB();
        if (at <= window)
            firstPeak = std::max(firstPeak, kib);
        if (at >= seconds - window)
            lastPeak = std::max(lastPeak, kib);
        ++cycles;
    }
    const double end = clock.elapsed() / 1000.0;
    std::printf("soak: %d cycles, %ld upload lines in %.0f s; peak RSS %ld KiB in the first "
                "%.0f s, %ld KiB in the last %.0f s\n",
                cycles, lines, end, firstPeak, window, lastPeak, window);
    ASSERT_GT(cycles, 1);
    EXPECT_LE(lastPeak, firstPeak + firstPeak / 10 + 4096);
    EXPECT_EQ(soak.sim.received().size(), size_t(log.offset())) << "stray bytes at the end";
}

} // namespace
