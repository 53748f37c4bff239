#include "uploaderwindow.h"
#include "conditioning.h"
#include "dialogs.h"
#include "errors.h"
#include "formbuilder.h"
#include "passfile.h"
#include "replytext.h"
#include "serialport.h"
#include "words.h"
#include <QLabel>
#include <QPushButton>
#include <array>

using namespace ravik;

namespace skypass {

namespace {

// The window as operators know it, in tab order. Places in twips; the command buttons' names and
// captions come from the command vocabulary.
constexpr std::array<ControlRow, 14> Layout{{
    {"cmdOpen", ControlKind::Button, "Send an ephemeris to the controller", 600, 960, 1455, 1335},
    {"txtFileData", ControlKind::MultiLineBoth, "Text1", 2880, 360, 3375, 2175},
    {"lblTime", ControlKind::Label, "", 2880, 0, 4455, 375, nullptr, 12},
    {"Frame3", ControlKind::Frame, "Rotor Controls", 120, 2640, 6135, 2175},
    CommandButton(Command::Clear, 240, 960, 2775, 255, "Frame3"),
    StatusButton(3120, 240, 2775, 255, "Frame3"),
    CommandButton(Command::GoToFirst, 240, 600, 2775, 255, "Frame3"),
    CommandButton(Command::Enable, 3120, 600, 2775, 255, "Frame3"),
    CommandButton(Command::Disable, 3120, 960, 2775, 255, "Frame3"),
    {"cmdSynchronize", ControlKind::Button, "Synchronize rotor time with UTC", 240, 240, 2775, 255,
     "Frame3"},
    {"Label1", ControlKind::Label, "Ravik", 480, 240, 1695, 495, nullptr, 24, true},
    CommandButton(Command::Mode0, 240, 1320, 2775, 255, "Frame3"),
    CommandButton(Command::Mode1, 3120, 1320, 2775, 255, "Frame3"),
    CommandButton(Command::Unwind, 2640, 1680, 855, 375, "Frame3"),
}};

const QString ErrorTitle = QStringLiteral("Error");
const QStringList PassFilters{QStringLiteral("Output files (*.out)"),
                              // "*" as well, so files without a dot show on Linux
                              QStringLiteral("All files(*.*) (*.* *)")};

} // namespace

std::span<const ControlRow> UploaderLayout() {
    return Layout;
}

frmDataUploader::frmDataUploader(const Platform& platform, QWidget* parent)
    : ControllerWindow(*platform.port, OutcomeLines::Appended, Layout, QStringLiteral("Text1"),
                       platform.tickMs, platform.fontFamily, parent),
      platform_(platform), upload_(link_) {
    setWindowIcon(QIcon(QStringLiteral(":/skypass.png")));
    // A reply is shown once it has ended, from the status word on.
    connect(&link_, &ControllerLink::statusRequested, this,
            [this] { box_.setText(QStringLiteral("Reading the status")); });
    connect(&link_, &ControllerLink::replyEnded, this,
            [this](const QByteArray& reply) { box_.setText(StatusReplyText(reply)); });
    connect(&upload_, &Upload::finished, this, &frmDataUploader::uploadFinished);
    const auto wire = [this](const char* name, auto handler) {
        connect(findChild<QPushButton*>(QString::fromLatin1(name)), &QPushButton::clicked, this,
                handler);
    };
    wire("cmdOpen", [this] { cmdOpen_Click(); });
    wire("cmdSynchronize", [this] { cmdSynchronize_Click(); });
    upload_.setBudgets(platform.budgets);
}

frmDataUploader::~frmDataUploader() {
    Form_QueryUnload();
}

void frmDataUploader::Form_Load() {
    try {
        FillMonthNameTable(MonthNameTable);
        const TimeZoneInfo zone = platform_.zone->query();
        UtcOffsetMinutes = ComputeUtcOffset(zone);
        box_.setText(OffsetLine(zone));
    } catch (const RunTimeError&) {
        box_.append(NotFoundLine(0));
        startClock();
        return;
    }
    table_.Points.clear();
    table_.Loaded = false;
    startLink(platform_.settingsPath);
}

void frmDataUploader::Form_QueryUnload() {
    awaitingTicks_ = false;
    upload_.abort();
    ControllerWindow::Form_QueryUnload();
}

void frmDataUploader::cmdStatus_Click() {
    link_.requestStatus();
}

void frmDataUploader::tmrTimer1_Timer() {
    // Always true UTC: a daylight change while running, or a saving of other than an hour,
    // must not shift what the controller is set to.
    CurrentUtc = platform_.clock->nowUtc();
    findChild<QLabel*>(QStringLiteral("lblTime"))
        ->setText(QStringLiteral("UTC:  ") + FormatUtc(CurrentUtc));
    ++TimerTickCount;
    if (awaitingTicks_ && TimerTickCount >= 2) {
        awaitingTicks_ = false;
        cmdStatus_Click();
    }
}

void frmDataUploader::cmdSynchronize_Click() {
    if (!link_.isOpen())
        return;
    // The present time, never the empty clock of a press before the first tick.
    CurrentUtc = platform_.clock->nowUtc();
    if (link_.writeData(TimeSetCommand(CurrentUtc)))
        cmdStatus_Click();
}

void frmDataUploader::cmdOpen_Click() {
    // A second load would rewrite the table the running upload is still sending.
    if (uploading())
        return;
    box_.setText(QString());
    table_.Loaded = false;
    try {
        const QString name = platform_.dialogs->chooseFile(PassFilters);
        table_.PassFileName = name;
        if (LoadPassFile(name, tokens_, table_, MonthNameTable) == PassFormat::Neither) {
            platform_.dialogs->message(NeitherFormatText, ErrorTitle, Dialogs::Icon::Exclamation);
            return;
        }
        UploadEphemeris();
    } catch (const RunTimeError& e) {
        failLoad(QString::fromStdString(e.what()));
    }
}

void frmDataUploader::failLoad(const QString& reason) {
    platform_.dialogs->message(CantAccessText + table_.PassFileName, ErrorTitle,
                               Dialogs::Icon::Exclamation, reason);
    table_.PassFileName.clear();
}

void frmDataUploader::UploadEphemeris() {
    if (!table_.Loaded) {
        platform_.dialogs->message(QStringLiteral("No valid file selected"), ErrorTitle,
                                   Dialogs::Icon::Exclamation);
        return;
    }
    const std::vector<QByteArray> lines = PrepareUploadLines(table_);
    if (!link_.isOpen())
        return;
    upload_.start(lines);
}

void frmDataUploader::uploadFinished(Upload::Outcome outcome) {
    if (outcome == Upload::Outcome::Aborted)
        return;
    if (outcome != Upload::Outcome::Done)
        return failLoad(upload_.failureReason(outcome));
    TimerTickCount = 0;
    awaitingTicks_ = true;
}

} // namespace skypass
