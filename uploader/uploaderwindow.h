#pragma once
#include "controllerwindow.h"
#include "ephemeris.h"
#include "formbuilder.h"
#include "parsers.h"
#include "upload.h"
#include "utcclock.h"
#include <QDateTime>

namespace ravik {
class Dialogs;
class SerialPort;
} // namespace ravik

namespace skypass {

// What the window reaches the outside world through; tests pass their own.
struct Platform {
    ravik::SerialPort* port;
    ravik::Dialogs* dialogs;
    const ravik::TimeZoneQuery* zone;
    const ravik::Clock* clock;
    QString settingsPath = QStringLiteral("Ravik.ini");
    int tickMs = 1000; // the clock's tick
    ravik::Upload::Budgets budgets{};
    QString fontFamily = {}; // empty: chosen from the installed fonts
};

// skypass's one window. It lays out its controls and wires them to the link, the pass loader
// and the upload; the state is the window's fields.
class frmDataUploader : public ravik::ControllerWindow {
    Q_OBJECT
public:
    explicit frmDataUploader(const Platform& platform, QWidget* parent = nullptr);
    ~frmDataUploader() override;

    // Start-up: month names, time-zone line, counters, settings file, port and probe.
    void Form_Load();
    // Closing: ends an upload in progress, then stops the clock and closes the port.
    void Form_QueryUnload() override;
    void tmrTimer1_Timer() override;

    void cmdOpen_Click();
    void cmdStatus_Click();
    void cmdSynchronize_Click();
    void UploadEphemeris();

    const ravik::EphemerisTable& table() const { return table_; }
    double utcOffsetMinutes() const { return UtcOffsetMinutes; }
    // True from the start of an upload to its status request.
    bool uploading() const { return upload_.isRunning() || awaitingTicks_; }

private:
    void failLoad(const QString& reason);
    void uploadFinished(ravik::Upload::Outcome outcome);

    Platform platform_;
    ravik::Upload upload_;
    ravik::MonthNames MonthNameTable;
    ravik::EphemerisTable table_;
    double UtcOffsetMinutes = 0;
    QDateTime CurrentUtc;
    // After an upload the status is asked for at the second clock tick, so the controller has
    // taken the last point in.
    bool awaitingTicks_ = false;
};

// The window's controls in tab order, for the layout test.
std::span<const ravik::ControlRow> UploaderLayout();

} // namespace skypass
