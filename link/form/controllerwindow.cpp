#include "controllerwindow.h"
#include "messageview.h"
#include <QCloseEvent>
#include <QPlainTextEdit>

namespace ravik {

namespace {
constexpr int ClientWidth = 6375; // twips, the same for both windows
constexpr int ClientHeight = 5025;
} // namespace

ControllerWindow::ControllerWindow(SerialPort& port, LinkStyle style,
                                   std::span<const ControlRow> layout, const QString& firstText,
                                   int tickMs, const QString& fontFamily, QWidget* parent)
    : QWidget(parent), link_(port, box_, style) {
    setWindowTitle(QStringLiteral("Data Uploader and Rotor Handler"));
    BuildForm(*this, layout, ClientWidth, ClientHeight, fontFamily);
    auto* messages = findChild<QPlainTextEdit*>(QStringLiteral("txtFileData"));
    messages->setAccessibleName(QStringLiteral("Messages"));
    BindMessageView(box_, *messages);
    box_.setText(firstText);
    WireCommandButtons(*this, link_);
    tmrTimer1.setInterval(tickMs);
    connect(&tmrTimer1, &QTimer::timeout, this, [this] { tmrTimer1_Timer(); });
}

ControllerWindow::~ControllerWindow() {
    tmrTimer1.stop();
    link_.close();
}

void ControllerWindow::startLink(const QString& settingsPath) {
    link_.start(TokenList, settingsPath);
    startClock();
}

void ControllerWindow::startClock() {
    TimerTickCount = 0;
    tmrTimer1.start();
}

void ControllerWindow::Form_QueryUnload() {
    tmrTimer1.stop();
    link_.close();
}

void ControllerWindow::closeEvent(QCloseEvent* event) {
    Form_QueryUnload();
    event->accept();
}

} // namespace ravik
