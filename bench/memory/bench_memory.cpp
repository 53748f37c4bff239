// Peak resident memory (VmHWM) of a skypass and a handpoint session, each in a child process of
// its own, after start-up against ravik-sim and one status round-trip, against a bare Qt Widgets
// window measured in the same run. The real executables are measured too, after start-up only
// (from outside nothing can press their status button).
// Usage: bench_memory [runs]   (default 3; medians are printed)
#include "benchcommon.h"
#include "procstatus.h"
#include "simprocess.h"
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

using ravik::test::SimProcess;

namespace {

using bench::die;
using bench::writeFile;

long Median(std::vector<long> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Starts `program` with `args` in `folder`, its output on a pipe; the pid, and the pipe's read end.
pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            const std::string& folder, int& out) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        die("pipe failed");
    const pid_t pid = ::fork();
    if (pid < 0)
        die("fork failed");
    if (pid == 0) {
        if (::chdir(folder.c_str()) != 0)
            ::_exit(126);
        ::dup2(fds[1], STDOUT_FILENO);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    out = fds[0];
    return pid;
}

// Runs a measuring child to its end and takes the figure it prints.
long ChildPeakKiB(const std::string& program, const std::string& folder,
                  const std::string& option = {}) {
    int out = -1;
    const pid_t pid = Spawn(program, {option.empty() ? folder : option}, folder, out);
    const std::string said = ravik::test::readUntil(out, std::string_view("\0", 1), 30000);
    ::close(out);
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::istringstream words(said);
    std::string key, how;
    long kib = -1;
    words >> key >> kib >> how;
    if (key != "VmHWM" || kib <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        die(program + " failed: " + said);
    return kib;
}

// Starts a real program, waits until the controller has been asked who it is and the window has
// had time to show, and reads the program's peak from outside.
long ProgramPeakKiB(const std::string& program, const std::string& folder, const SimProcess& sim) {
    const auto asked = [&] {
        const std::string r = sim.received();
        return std::count(r.begin(), r.end(), '?');
    };
    const auto before = asked();
    int out = -1;
    const pid_t pid = Spawn(program, {}, folder, out);
    const auto deadline = ravik::test::SimClock::now() + std::chrono::seconds(10);
    while (asked() == before && ravik::test::msLeft(deadline) > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (asked() == before)
        die(program + " never probed the controller");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const long kib = ravik::bench::StatusKiB("/proc/" + std::to_string(pid) + "/status", "VmHWM");
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    ::close(out);
    if (kib <= 0)
        die(program + " ended before it was measured");
    return kib;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 3;
    if (runs < 1)
        die("runs: at least 1");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    QFile ini(dir.filePath(QStringLiteral("Ravik.ini")));
    if (!ini.open(QIODevice::WriteOnly) || ini.write("Comm Port 1\r\n") != 13)
        die("cannot write the settings file");
    ini.close();
    SimProcess sim;
    if (!sim.start(folder, 1))
        die("ravik-sim did not start: " + sim.error());

    std::vector<long> bare, label, skypass, handpoint, skypassExe, handpointExe;
    for (int i = 0; i < runs; ++i) {
        bare.push_back(ChildPeakKiB(MEMORY_BARE_PATH, folder));
        label.push_back(ChildPeakKiB(MEMORY_BARE_PATH, folder, "--label"));
        skypass.push_back(ChildPeakKiB(MEMORY_SKYPASS_PATH, folder));
        handpoint.push_back(ChildPeakKiB(MEMORY_HANDPOINT_PATH, folder));
        skypassExe.push_back(ProgramPeakKiB(SKYPASS_PATH, folder, sim));
        handpointExe.push_back(ProgramPeakKiB(HANDPOINT_PATH, folder, sim));
    }
    const double b = double(Median(bare));
    const long l = Median(label), s = Median(skypass), h = Median(handpoint);
    const long se = Median(skypassExe), he = Median(handpointExe);
    std::printf("peak RSS (median of %d): bare Qt window %.0f KiB; after start-up and one status "
                "round-trip: skypass %ld KiB, handpoint %ld KiB\n",
                runs, b, s, h);
    std::printf("skypass peak RSS / bare Qt window: %.2fx (goal < 1.3)\n", double(s) / b);
    std::printf("handpoint peak RSS / bare Qt window: %.2fx (goal < 1.3)\n", double(h) / b);
    std::printf("the same window with one text label: %ld KiB (%.2fx); skypass against it: "
                "%.2fx, handpoint %.2fx\n",
                l, double(l) / b, double(s) / double(l), double(h) / double(l));
    std::printf("real executables after start-up: skypass %ld KiB (%.2fx), handpoint %ld KiB "
                "(%.2fx)\n",
                se, double(se) / b, he, double(he) / b);
    return 0;
}
