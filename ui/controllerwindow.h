#pragma once
#include "controllerlink.h"
#include "formbuilder.h"
#include "messagetext.h"
#include "tokenizer.h"
#include <QTimer>
#include <QWidget>
#include <span>

namespace ravik {

class SerialPort;

// What both programs' windows share: the message box, the controller link, the token list, the
// one-second clock and closing. Each program adds its own controls and handlers.
class ControllerWindow : public QWidget {
    Q_OBJECT
public:
    const MessageText& messages() const { return box_; }
    const ControllerLink& link() const { return link_; }
    int tickCount() const { return tickCount_; }

    // Start-up: the settings file, the port and the probe; started() follows.
    virtual void start() = 0;
    // Closing the window: stops the clock and closes the port.
    virtual void shutDown();
    virtual void tick() { ++tickCount_; }

signals:
    // Start-up has ended (the outcome line is written): the window may be shown.
    void started();

protected:
    // Where a window writes its start-up outcome and its lost-controller line.
    enum class OutcomeLines { Appended, ReplaceText };

    // Builds the controls of `layout` in formFamily(`fontFamily`), shows `firstText` in
    // txtFileData and wires the command buttons of the vocabulary.
    ControllerWindow(SerialPort& port, OutcomeLines outcomes, std::span<const ControlRow> layout,
                     const QString& firstText, int tickMs, const QString& fontFamily,
                     QWidget* parent);
    ~ControllerWindow() override;

    // The end of start-up: the settings file, the port and the probe; started() follows once the
    // probe has ended.
    void startLink(const QString& settingsPath);
    // Every way out of start-up ends here, and only then: the clock starts from tick 0, so its
    // first tick comes a second after the window appears, however long the probe took.
    void endStartUp();
    void closeEvent(QCloseEvent* event) override;
    // A command button was pressed; the window may say something before the link sends it.
    virtual void pressCommand(Command command) { link_.send(command); }

    MessageText box_;
    ControllerLink link_;
    ravik::Tokens tokens_;
    int tickCount_ = 0;
    QTimer ticker_;

private:
    void showOutcome(const QString& line);

    OutcomeLines outcomes_;
    bool startingUp_ = false;
};

class QtSerialPort;

// A window program's run: the window appears once start-up has ended, and the program ends when
// the last window has closed and the line has carried what was on its way.
int runWindowProgram(ControllerWindow& window, QtSerialPort& port);

} // namespace ravik
