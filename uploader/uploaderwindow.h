#pragma once
#include "controllerlink.h"
#include "ephemeris.h"
#include "formbuilder.h"
#include "messagetext.h"
#include "parsers.h"
#include "tokenizer.h"
#include "upload.h"
#include "utcclock.h"
#include <QDateTime>
#include <QTimer>
#include <QWidget>

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
};

// skypass's one window. It lays out its controls and wires them to the link, the pass loader
// and the upload; the state is the window's fields.
class frmDataUploader : public QWidget {
    Q_OBJECT
public:
    explicit frmDataUploader(const Platform& platform, QWidget* parent = nullptr);
    ~frmDataUploader() override;

    // Start-up: month names, time-zone line, counters, settings file, port and probe.
    void Form_Load();
    // Closing: ends an upload in progress and closes the port.
    void Form_QueryUnload();

    void cmdOpen_Click();
    void cmdStatus_Click();
    void cmdSynchronize_Click();
    void tmrTimer1_Timer();
    void UploadEphemeris();

    const ravik::MessageText& messages() const { return box_; }
    const ravik::EphemerisTable& table() const { return table_; }
    const ravik::ControllerLink& link() const { return link_; }
    double utcOffsetMinutes() const { return UtcOffsetMinutes; }
    int timerTickCount() const { return TimerTickCount; }
    // True from the choice of a pass file to the end of its upload.
    bool uploading() const { return busy_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void failLoad(const QString& reason);

    Platform platform_;
    ravik::MessageText box_;
    ravik::ControllerLink link_;
    ravik::Upload upload_;
    ravik::TokenList TokenList;
    ravik::MonthNames MonthNameTable;
    ravik::EphemerisTable table_;
    double UtcOffsetMinutes = 0;
    QDateTime CurrentUtc;
    int TimerTickCount = 0;
    QTimer tmrTimer1;
    bool closing_ = false;
    bool busy_ = false;
};

// The window's controls in tab order, for the layout test.
std::span<const ravik::ControlRow> UploaderLayout();

} // namespace skypass
