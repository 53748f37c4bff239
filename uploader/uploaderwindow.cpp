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

namespace ravik {

namespace {

// The window as operators know it, in tab order. Places in twips; the command buttons' names and
// captions come from the command vocabulary.
constexpr std::array<ControlRow, 14> Layout{{
    {"cmdOpen", ControlKind::Button, "Send an ephemeris to the controller", 600, 960, 1455, 1335},
    {"txtFileData", ControlKind::MultiLineBoth, "Text1", 2880, 360, 3375, 2175},
    {"lblTime", ControlKind::Label, "", 2880, 0, 4455, 375, nullptr, 12},
    {"Frame3", ControlKind::Frame, "Rotor Controls", 120, 2640, 6135, 2175},
    commandButton(Command::Clear, 240, 960, 2775, 255, "Frame3"),
    statusButton(3120, 240, 2775, 255, "Frame3"),
    commandButton(Command::GoToFirst, 240, 600, 2775, 255, "Frame3"),
    commandButton(Command::Enable, 3120, 600, 2775, 255, "Frame3"),
    commandButton(Command::Disable, 3120, 960, 2775, 255, "Frame3"),
    {"cmdSynchronize", ControlKind::Button, "Synchronize rotor time with UTC", 240, 240, 2775, 255,
     "Frame3"},
    {"Label1", ControlKind::Label, "Ravik", 480, 240, 1695, 495, nullptr, 24, true},
    commandButton(Command::Mode0, 240, 1320, 2775, 255, "Frame3"),
    commandButton(Command::Mode1, 3120, 1320, 2775, 255, "Frame3"),
    commandButton(Command::Unwind, 2640, 1680, 855, 375, "Frame3"),
}};

const QString ErrorTitle = QStringLiteral("Error");
const QStringList PassFilters{QStringLiteral("Output files (*.out)"),
                              // "*" as well, so files without a dot show on Linux
                              QStringLiteral("All files(*.*) (*.* *)")};

} // namespace

std::span<const ControlRow> uploaderLayout() {
    return Layout;
}

UploaderWindow::UploaderWindow(const Platform& platform, QWidget* parent)
    : ControllerWindow(*platform.port, OutcomeLines::Appended, Layout, QStringLiteral("Text1"),
                       platform.tickMs, platform.fontFamily, parent),
      platform_(platform), upload_(link_) {
    setWindowIcon(QIcon(QStringLiteral(":/skypass.png")));
    // A reply is shown once it has ended, from the status word on.
    connect(&link_, &ControllerLink::statusRequested, this,
            [this] { box_.setText(QStringLiteral("Reading the status")); });
    connect(&link_, &ControllerLink::replyEnded, this,
            [this](const QByteArray& reply) { box_.setText(statusReplyText(reply)); });
    connect(&upload_, &Upload::finished, this, &UploaderWindow::uploadFinished);
    const auto wire = [this](const char* name, auto handler) {
        connect(findChild<QPushButton*>(QString::fromLatin1(name)), &QPushButton::clicked, this,
                handler);
    };
    wire("cmdOpen", [this] { sendEphemeris(); });
    wire("cmdSynchronize", [this] { synchronizeClock(); });
    upload_.setBudgets(platform.budgets);
}

UploaderWindow::~UploaderWindow() {
    shutDown();
}

void UploaderWindow::start() {
    try {
        fillMonthNames(monthNames_);
        const TimeZoneInfo zone = platform_.zone->query();
        utcOffsetMinutes_ = computeUtcOffset(zone);
        box_.setText(offsetLine(zone));
    } catch (const RunTimeError&) {
        box_.append(notFoundLine(0));
        return endStartUp();
    }
    table_.points.clear();
    table_.loaded = false;
    startLink(platform_.settingsPath);
}

void UploaderWindow::shutDown() {
    awaitingTicks_ = false;
    upload_.abort();
    ControllerWindow::shutDown();
}

void UploaderWindow::requestStatus() {
    link_.requestStatus();
}

void UploaderWindow::tick() {
    // Always true UTC: a daylight change while running, or a saving of other than an hour,
    // must not shift what the controller is set to.
    currentUtc_ = platform_.clock->nowUtc();
    findChild<QLabel*>(QStringLiteral("lblTime"))
        ->setText(QStringLiteral("UTC:  ") + formatUtc(currentUtc_));
    ++tickCount_;
    if (awaitingTicks_ && tickCount_ >= 2) {
        awaitingTicks_ = false;
        requestStatus();
    }
}

void UploaderWindow::synchronizeClock() {
    if (!link_.isOpen())
        return;
    // The present time, never the empty clock of a press before the first tick.
    currentUtc_ = platform_.clock->nowUtc();
    if (link_.writeData(timeSetCommand(currentUtc_)))
        requestStatus();
}

void UploaderWindow::sendEphemeris() {
    // A second load would rewrite the table the running upload is still sending.
    if (uploading())
        return;
    box_.setText(QString());
    table_.loaded = false;
    try {
        const QString name = platform_.dialogs->chooseFile(PassFilters);
        table_.fileName = name;
        if (loadPassFile(name, tokens_, table_, monthNames_) == PassFormat::Neither) {
            platform_.dialogs->message(NeitherFormatText, ErrorTitle, Dialogs::Icon::Exclamation);
            return;
        }
        uploadTable();
    } catch (const RunTimeError& e) {
        failLoad(QString::fromStdString(e.what()));
    }
}

void UploaderWindow::failLoad(const QString& reason) {
    platform_.dialogs->message(CantAccessText + table_.fileName, ErrorTitle,
                               Dialogs::Icon::Exclamation, reason);
    table_.fileName.clear();
}

void UploaderWindow::uploadTable() {
    if (!table_.loaded) {
        platform_.dialogs->message(QStringLiteral("No valid file selected"), ErrorTitle,
                                   Dialogs::Icon::Exclamation);
        return;
    }
    const std::vector<QByteArray> lines = prepareUploadLines(table_);
    if (!link_.isOpen())
        return;
    upload_.start(lines);
}

void UploaderWindow::uploadFinished(Upload::Outcome outcome) {
    if (outcome == Upload::Outcome::Aborted)
        return;
    if (outcome != Upload::Outcome::Done)
        return failLoad(upload_.failureReason(outcome));
    tickCount_ = 0;
    awaitingTicks_ = true;
}

} // namespace ravik
