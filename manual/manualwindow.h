#pragma once
#include "controllerwindow.h"
#include "formbuilder.h"
#include <QLocale>
#include <QWidget>
#include <span>

namespace ravik {

class Dialogs;
class SerialPort;

// handpoint's one window: the manual console. It lays out its controls and wires them to the
// link and the point-to command.
class ManualWindow : public ControllerWindow {
    Q_OBJECT
public:
    // What the window reaches the outside world through; tests pass their own.
    struct Platform {
        SerialPort* port;
        Dialogs* dialogs;
        QString settingsPath = QStringLiteral("Ravik.ini");
        QLocale locale = QLocale::system();
        QString fontFamily = {}; // empty: chosen from the installed fonts
    };

    explicit ManualWindow(const Platform& platform, QWidget* parent = nullptr);

    // Start-up: settings file, port and probe.
    void start() override;
    // "Go!": points the rotors to the typed azimuth and elevation.
    void pointRotors();

protected:
    void pressCommand(Command command) override;

private:
    Platform platform_;
};

// The window's controls in tab order, for the layout test.
std::span<const ControlRow> manualLayout();

} // namespace ravik
