// Detection plus parsing of a 12,000-line pass file, against reading the same file line by line
// with LineReader and nothing else. The ratio is printed at the end; the aim is below 3x.
#include "linereader.h"
#include "parsers.h"
#include "passfile.h"
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <string>

namespace {

using namespace ravik;

constexpr int LineCount = 12000;

QByteArray InstantTrackText() {
    QByteArray text =
        "RAVSAT-1  Station KILO  Times UTC\r\n  Date     Time   Azim   Elev   Range\r\n";
    for (int i = 0; i < LineCount - 2; ++i) {
        text +=
            QString::asprintf("%02dDec2002  %02d%02d  %5.1f  %5.1f  %5d  %5.1f  %3d\r\n",
                              1 + i / 1440 % 28, i / 60 % 24, i % 60, (i * 7 % 3600) / 10.0,
                              (i % 900) / 10.0 - 5, 1200 + i % 3000, 3.1 - (i % 60) / 10.0, i % 256)
                .toLatin1();
    }
    return text;
}

QByteArray NovaText() {
    QByteArray text = "RAVSAT-1 pass predictions for KILO, times UTC\r\n"
                      "===== Thursday, December 5, 2002 =====\r\n"
                      "  Time      Azim   Elev   Range    RRate  Doppler  SLat   SLon   Phase\r\n";
    for (int i = 0; i < LineCount - 3; ++i) {
        text += QString::asprintf(
                    "%02d:%02d:%02d  %6.1f  %5.1f  %7.1f  %6.2f  %5.1f  %5.1f  %5.1f  %.2f\r\n",
                    i / 120 % 24, i / 2 % 60, i % 2 * 30, (i * 7 % 3600) / 10.0,
                    (i % 900) / 10.0 - 5, 1200.0 + i % 3000, -6.38 + (i % 100) / 10.0,
                    3.1 - (i % 60) / 10.0, 11.1 + i % 50, 19.6 - i % 20, (i % 100) / 100.0)
                    .toLatin1();
    }
    return text;
}

struct Files {
    QTemporaryDir dir;
    QString instantTrack = dir.filePath("instanttrack.out");
    QString nova = dir.filePath("nova.out");
    Files() {
        for (const auto& [name, text] :
             {std::pair{instantTrack, InstantTrackText()}, std::pair{nova, NovaText()}}) {
            QFile file(name);
            if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
                std::exit(1);
            }
        }
    }
    const QString& operator[](int which) const { return which == 0 ? instantTrack : nova; }
};

const Files& TestFiles() {
    static const Files files;
    return files;
}

void BareRead(benchmark::State& state, int which) {
    const QString& name = TestFiles()[which];
    for (auto _ : state) {
        QFile file(name);
        file.open(QIODevice::ReadOnly);
        LineReader reader(file);
        qsizetype characters = 0;
        while (!reader.atEnd()) {
            characters += reader.readLine().size();
        }
        benchmark::DoNotOptimize(characters);
    }
}

// Reading plus tokenizing every line: the floor any parser built on the tokenizer stands on.
void ReadAndTokenize(benchmark::State& state, int which) {
    const QString& name = TestFiles()[which];
    TokenList tokens;
    for (auto _ : state) {
        QFile file(name);
        file.open(QIODevice::ReadOnly);
        LineReader reader(file);
        int count = 0;
        while (!reader.atEnd()) {
            count += TokenizeLine(reader.readLine(), tokens);
        }
        benchmark::DoNotOptimize(count);
    }
}

void DetectAndParse(benchmark::State& state, int which) {
    const QString& name = TestFiles()[which];
    const PassFormat expected = which == 0 ? PassFormat::InstantTrack : PassFormat::Nova;
    MonthNames months;
    FillMonthNameTable(months);
    TokenList tokens;
    EphemerisTable table;
    for (auto _ : state) {
        if (LoadPassFile(name, tokens, table, months) != expected || table.PointCount != 10001) {
            state.SkipWithError("the file was not read as expected");
            break;
        }
    }
}

const char* const Labels[] = {"instanttrack", "nova"};

// Keeps the CPU time per iteration of every run, by name, for the ratios: the cores are shared,
// so wall time says more about the neighbours than about the code.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                seconds[run.benchmark_name()] = run.cpu_accumulated_time / double(run.iterations);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv) {
    for (int which = 0; which < 2; ++which) {
        const std::string label = Labels[which];
        benchmark::RegisterBenchmark(("BareRead/" + label).c_str(), BareRead, which)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("ReadAndTokenize/" + label).c_str(), ReadAndTokenize, which)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("DetectAndParse/" + label).c_str(), DetectAndParse, which)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::Initialize(&argc, argv);
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* label : Labels) {
        const double bare = reporter.seconds[std::string("BareRead/") + label];
        const double tokenized = reporter.seconds[std::string("ReadAndTokenize/") + label];
        const double full = reporter.seconds[std::string("DetectAndParse/") + label];
        if (bare > 0 && full > 0) {
            std::printf("ratio %s: %.2fx of bare read (read and tokenize alone: %.2fx)\n", label,
                        full / bare, tokenized / bare);
        }
    }
    benchmark::Shutdown();
    return 0;
}
