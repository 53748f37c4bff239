#include "conditioning.h"
#include "core_support.h"
#include "passfile.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace ravik {
namespace {

using test::Lines;

const QString SampleDir = QStringLiteral(RAVIK_SOURCE_DIR "/uploader/samples/");

struct Loader {
    TokenList tokens;
    EphemerisTable table;
    MonthNames months;
    Loader() { FillMonthNameTable(months); }
    // The format, or the failure's reason prefixed with "error: ".
    QString Load(const QString& name) {
        try {
            switch (LoadPassFile(name, tokens, table, months)) {
            case PassFormat::InstantTrack:
                return "InstantTrack";
            case PassFormat::Nova:
                return "Nova";
            case PassFormat::Neither:
                return "Neither";
            }
        } catch (const RunTimeError& e) {
            return "error: " + QString::fromStdString(e.what());
        }
        return {};
    }
};

void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

TEST(LoadPassFile, Samples) {
    const struct {
        const char* file;
        const char* format;
        int count;
        EphemerisPoint first, last;
        int highest;
    } rows[] = {
        {"pass-instanttrack.out",
         "InstantTrack",
         20,
         {2002, 12, 5, 23, 50, 0, 155, -6},
         {2002, 12, 6, 0, 9, 0, 355, -6},
         41},
        {"pass-nova.out",
         "Nova",
         36,
         {2002, 12, 5, 23, 51, 0, 153, -3},
         {2002, 12, 6, 0, 8, 30, 356, -4},
         42},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        Loader loader;
        ASSERT_EQ(loader.Load(SampleDir + row.file), row.format);
        const EphemerisTable& t = loader.table;
        EXPECT_TRUE(t.Loaded);
        EXPECT_EQ(t.PassFileName, SampleDir + row.file);
        ASSERT_EQ(t.PointCount, row.count);
        test::ExpectPoint(t.Points[0], row.first);
        test::ExpectPoint(t.Points[t.PointCount - 1], row.last);
        int highest = -90;
        for (int i = 0; i < t.PointCount; ++i) {
            highest = std::max<int>(highest, t.Points[i].Elevation);
        }
        EXPECT_EQ(highest, row.highest);
    }
}

TEST(LoadPassFile, UnusableNames) {
    QTemporaryDir dir;
    Write(dir.filePath("neither.out"), Lines({"Title", "Time Azim Elev"}));
    Write(dir.filePath("one-line.out"), "05Dec2002 2315 183.4 12.6 1523 -0.8 45\r\n");
    const struct {
        QString name;
        const char* outcome;
    } rows[] = {
        {"", "error: no file name was given"},
        {dir.filePath("missing.out"), "error: the file does not exist"},
        {dir.path(), "error: the name is a directory, not a file"},
        {"/dev/zero", "error: the name is not a regular file"},
        {dir.filePath("neither.out"), "Neither"},
        {dir.filePath("one-line.out"), "error: line 2: the file ends inside the header"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name.toStdString());
        Loader loader;
        loader.table.PointCount = 3;
        loader.table.Points[0].Azimuth = 77;
        loader.table.Loaded = true;
        EXPECT_EQ(loader.Load(row.name), row.outcome);
        EXPECT_EQ(loader.table.PassFileName, row.name);
        EXPECT_FALSE(loader.table.Loaded);
        if (QString(row.outcome) != "Neither") {
            continue;
        }
        EXPECT_EQ(loader.table.PointCount, 3);
        EXPECT_EQ(loader.table.Points[0].Azimuth, 77);
    }
}

// Root reads every file, so the check runs in a child that has become an unprivileged user.
TEST(LoadPassFile, UnreadableFile) {
    QTemporaryDir dir;
    ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const QString path = dir.filePath("secret.out");
    Write(path, Lines({"Title", "===== Thursday, December 5, 2002 =====", "23 15 30 1 2 3 4 5 6"}));
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0), 0);

    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(3);
        }
        Loader loader;
        const QString outcome = loader.Load(path);
        _exit(outcome == "error: the file cannot be opened: Permission denied" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// The file is read twice; whatever the second read finds is parsed or refused, never trusted.
TEST(LoadPassFile, FileChangesBetweenDetectionAndParsing) {
    const QByteArray nova =
        Lines({"Title", "===== Thursday, December 5, 2002 =====", "23 15 30 183 12 1 2 3 4",
               "23 15 31 184 13 1 2 3 4", "23 15 32 185 14 1 2 3 4"});
    const struct {
        const char* name;
        std::function<void(const QString&)> change;
        const char* error; // empty: parsed
        int count;
    } rows[] = {
        {"emptied", [](const QString& p) { Write(p, ""); }, "line 1: the file is empty", 0},
        {"shortened",
         [](const QString& p) {
             Write(p, Lines({"Title", "23 15 30 1 2 3 4 5 6"}));
         },
         "", 1},
        {"now InstantTrack",
         [](const QString& p) {
             Write(p, Lines({"h", "h", "05Dec2002 2315 183.4 12.6 1523 -0.8 45"}));
         },
         "", 0},
        {"binary", [](const QString& p) { Write(p, QByteArray(70000, '\0') + "\xff\r\r\n"); }, "",
         0},
        {"removed", [](const QString& p) { QFile::remove(p); }, "the file does not exist", 0},
        {"replaced by a directory",
         [](const QString& p) {
             QFile::remove(p);
             QDir().mkdir(p);
         },
         "the name is a directory, not a file", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("pass.out");
        Write(path, nova);
        Loader loader;
        const Detection detection = DetectPassFile(path, loader.tokens);
        ASSERT_EQ(detection.format, PassFormat::Nova);
        row.change(path);
        QString error;
        try {
            ParsePassFile(path, detection.format, loader.tokens, loader.table, loader.months);
        } catch (const RunTimeError& e) {
            error = QString::fromStdString(e.what());
        }
        EXPECT_EQ(error, row.error);
        EXPECT_EQ(loader.table.PointCount, row.count);
        EXPECT_EQ(loader.table.Loaded, error.isEmpty());
    }
}

// An endless stream of 'a' without a line end, made up as it is read: nothing of it is stored.
class EndlessLine : public QIODevice {
public:
    explicit EndlessLine(qint64 size) : size_(size) { open(ReadOnly | Unbuffered); }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 max) override {
        const qint64 n = std::min(max, size_ - produced_);
        std::fill_n(data, n, 'a');
        produced_ += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    qint64 size_;
    qint64 produced_ = 0;
};

TEST(HostileInput, OneGibibyteLine) {
    constexpr qint64 GiB = qint64(1) << 30;
    TokenList tokens;
    MonthNames months;
    FillMonthNameTable(months);
    EphemerisTable table;
    const struct {
        const char* step;
        std::function<void(LineReader&)> run;
        const char* error;
        bool tokenized;
    } rows[] = {
        {"detection",
         [&](LineReader& r) { EXPECT_EQ(DetectFormat(r, tokens).format, PassFormat::Neither); }, "",
         true},
        {"InstantTrack", [&](LineReader& r) { Parse_InstantTrack(r, tokens, table); },
         "line 2: the file ends inside the header", false},
        {"Nova", [&](LineReader& r) { Parse_Nova(r, tokens, table, months); }, "", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.step);
        tokens[0].clear();
        EndlessLine device(GiB);
        LineReader reader(device);
        QString error;
        try {
            row.run(reader);
        } catch (const RunTimeError& e) {
            error = QString::fromStdString(e.what());
        }
        EXPECT_EQ(error, row.error);
        EXPECT_EQ(reader.lineNumber(), 1);
        EXPECT_TRUE(reader.atEnd());
        EXPECT_EQ(table.PointCount, 0);
        // The line is cut to the cap before it is tokenized.
        EXPECT_EQ(tokens[0].size(), row.tokenized ? LineReader::MaxLineLength : 0);
    }
}

} // namespace
} // namespace ravik
