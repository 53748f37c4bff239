#pragma once
#include "controllerwindow.h"
#include "formbuilder.h"
#include <QLocale>
#include <QWidget>
#include <span>

namespace ravik {
class Dialogs;
class SerialPort;
} // namespace ravik

namespace handpoint {

struct Platform {
    ravik::SerialPort* port;
    ravik::Dialogs* dialogs;
    QString settingsPath = QStringLiteral("Ravik.ini");
    QLocale locale = QLocale::system();
    QString fontFamily = {}; // empty: chosen from the installed fonts
};

// handpoint's one window: the manual console. It lays out its controls and wires them to the
// link and the point-to command.
class frmDataUploader : public ravik::ControllerWindow {
    Q_OBJECT
public:
    explicit frmDataUploader(const Platform& platform, QWidget* parent = nullptr);

    void Form_Load();
    void cmdGo_Click();

protected:
    void pressCommand(ravik::Command command) override;

private:
    Platform platform_;
};

// The window's controls in tab order, for the layout test.
std::span<const ravik::ControlRow> ManualLayout();

} // namespace handpoint
