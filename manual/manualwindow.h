#pragma once
#include "controllerlink.h"
#include "formbuilder.h"
#include "messagetext.h"
#include "tokenizer.h"
#include <QLocale>
#include <QTimer>
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
};

// handpoint's one window: the manual console. It lays out its controls and wires them to the
// link and the point-to command.
class frmDataUploader : public QWidget {
    Q_OBJECT
public:
    explicit frmDataUploader(const Platform& platform, QWidget* parent = nullptr);
    ~frmDataUploader() override;

    void Form_Load();
    void Form_QueryUnload();
    void cmdGo_Click();
    void tmrTimer1_Timer() { ++TimerTickCount; }

    const ravik::MessageText& messages() const { return box_; }
    const ravik::ControllerLink& link() const { return link_; }
    int timerTickCount() const { return TimerTickCount; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Platform platform_;
    ravik::MessageText box_;
    ravik::ControllerLink link_;
    ravik::TokenList TokenList;
    int TimerTickCount = 0;
    QTimer tmrTimer1;
};

// The window's controls in tab order, for the layout test.
std::span<const ravik::ControlRow> ManualLayout();

} // namespace handpoint
