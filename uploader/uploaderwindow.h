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

// skypass's one window. It lays out its controls and wires them to the link, the pass loader
// and the upload; the state is the window's fields.
class UploaderWindow : public ControllerWindow {
    Q_OBJECT
public:
    // What the window reaches the outside world through; tests pass their own.
    struct Platform {
        SerialPort* port;
        Dialogs* dialogs;
        const TimeZoneQuery* zone;
        const Clock* clock;
        QString settingsPath = QStringLiteral("Ravik.ini");
        int tickMs = 1000; // the clock's tick
        Upload::Budgets budgets{};
        QString fontFamily = {}; // empty: chosen from the installed fonts
    };

    explicit UploaderWindow(const Platform& platform, QWidget* parent = nullptr);
    ~UploaderWindow() override;

    // Start-up: month names, time-zone line, counters, settings file, port and probe.
    void start() override;
    // Closing: ends an upload in progress, then stops the clock and closes the port.
    void shutDown() override;
    void tick() override;

    // The buttons: "Send an ephemeris to the controller" (choose a pass file, load and upload
    // it), "Show rotor status", "Synchronize rotor time with UTC".
    void sendEphemeris();
    void requestStatus();
    void synchronizeClock();
    // Conditions the loaded table and starts its upload.
    void uploadTable();

    const EphemerisTable& table() const { return table_; }
    double utcOffsetMinutes() const { return utcOffsetMinutes_; }
    // True from the start of an upload to its status request.
    bool uploading() const { return upload_.isRunning() || awaitingTicks_; }

private:
    void failLoad(const QString& reason);
    void uploadFinished(Upload::Outcome outcome);

    Platform platform_;
    Upload upload_;
    MonthNames monthNames_;
    EphemerisTable table_;
    double utcOffsetMinutes_ = 0;
    QDateTime currentUtc_;
    // After an upload the status is asked for at the second clock tick, so the controller has
    // taken the last point in.
    bool awaitingTicks_ = false;
};

// The window's controls in tab order, for the layout test.
std::span<const ControlRow> uploaderLayout();

} // namespace ravik
