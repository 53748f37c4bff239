// Detection plus parsing of a 12,000-line pass file, against reading the same file line by line
// with LineReader and nothing else. The ratios are printed at the end; the aim is below 10x. Use
// --benchmark_repetitions (e.g. 5): the separate benchmarks give the ratio of their fastest
// repetitions, the paired one the median of its repetitions' medians.
#include "linereader.h"
#include "parsers.h"
#include "passfile.h"
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <vector>

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

void ReadAllLines(const QString& name) {
    QFile file(name);
    file.open(QIODevice::ReadOnly);
    LineReader reader(file);
    qsizetype characters = 0;
    while (!reader.atEnd()) {
        characters += reader.readLine().size();
    }
    benchmark::DoNotOptimize(characters);
}

void BareRead(benchmark::State& state, int which) {
    const QString& name = TestFiles()[which];
    for (auto _ : state) {
        ReadAllLines(name);
    }
}

// Reading plus splitting every line the way the parsers do, reading the first token: the floor
// the parsers stand on.
void ReadAndTokenize(benchmark::State& state, int which) {
    const QString& name = TestFiles()[which];
    Tokens tokens;
    for (auto _ : state) {
        QFile file(name);
        file.open(QIODevice::ReadOnly);
        LineReader reader(file);
        qsizetype count = 0;
        while (!reader.atEnd()) {
            count += tokens.split(reader.readLine()) + tokens.first().size();
        }
        benchmark::DoNotOptimize(count);
    }
}

struct Loader {
    MonthNames months;
    Tokens tokens;
    EphemerisTable table;
    Loader() { fillMonthNames(months); }
    bool Load(int which) {
        const PassFormat expected = which == 0 ? PassFormat::InstantTrack : PassFormat::Nova;
        return loadPassFile(TestFiles()[which], tokens, table, months) == expected &&
               table.points.size() == 10001;
    }
};

void DetectAndParse(benchmark::State& state, int which) {
    Loader loader;
    for (auto _ : state) {
        if (!loader.Load(which)) {
            state.SkipWithError("the file was not read as expected");
            break;
        }
    }
}

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The bare read and the load of the same file back to back in every iteration, each on the
// thread's CPU clock, and the median of the ratios of the pairs. The two halves of a pair run
// a millisecond apart and so meet the same neighbours on the shared cores, which separate
// benchmarks, seconds apart, do not.
void Paired(benchmark::State& state, int which) {
    Loader loader;
    std::vector<double> ratios;
    for (auto _ : state) {
        const double start = ThreadCpuSeconds();
        ReadAllLines(TestFiles()[which]);
        const double read = ThreadCpuSeconds();
        if (!loader.Load(which)) {
            state.SkipWithError("the file was not read as expected");
            break;
        }
        const double loaded = ThreadCpuSeconds();
        ratios.push_back((loaded - read) / (read - start));
    }
    if (!ratios.empty()) {
        std::nth_element(ratios.begin(), ratios.begin() + qsizetype(ratios.size() / 2),
                         ratios.end());
        state.counters["ratio"] = ratios[ratios.size() / 2];
    }
}

const char* const Labels[] = {"instanttrack", "nova"};

// Keeps the fastest CPU time per iteration of every benchmark over its repetitions, for the
// ratios: the cores are shared, so wall time and the slower repetitions say more about the
// neighbours than about the code.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;
    std::map<std::string, std::vector<double>> pairedRatios; // one median per repetition
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.counters.count("ratio") != 0) {
                pairedRatios[run.run_name.function_name].push_back(run.counters.at("ratio"));
            }
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                const double perIteration = run.cpu_accumulated_time / double(run.iterations);
                const auto [it, added] =
                    seconds.try_emplace(run.run_name.function_name, perIteration);
                if (!added && perIteration < it->second) {
                    it->second = perIteration;
                }
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
        benchmark::RegisterBenchmark(("Paired/" + label).c_str(), Paired, which)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::Initialize(&argc, argv);
    TestFiles(); // written before any measurement, so profiles of one benchmark leave it out
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
        std::vector<double> paired = reporter.pairedRatios[std::string("Paired/") + label];
        if (!paired.empty()) {
            std::sort(paired.begin(), paired.end());
            std::printf("paired ratio %s: %.2fx of bare read (median of %zu repetitions, "
                        "%.2fx to %.2fx)\n",
                        label, paired[paired.size() / 2], paired.size(), paired.front(),
                        paired.back());
        }
    }
    benchmark::Shutdown();
    return 0;
}
