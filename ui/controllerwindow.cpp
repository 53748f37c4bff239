#include "controllerwindow.h"
#include "messageview.h"
#include "qtserialport.h"
#include "words.h"
#include <QCloseEvent>
#include <QGuiApplication>
#include <QPlainTextEdit>

namespace ravik {

namespace {
constexpr int ClientWidth = 6375; // twips, the same for both windows
constexpr int ClientHeight = 5025;
} // namespace

ControllerWindow::ControllerWindow(SerialPort& port, OutcomeLines outcomes,
                                   std::span<const ControlRow> layout, const QString& firstText,
                                   int tickMs, const QString& fontFamily, QWidget* parent)
    : QWidget(parent), link_(port), outcomes_(outcomes) {
    // The form's name, as the controls keep theirs: both windows' id for tests and tools.
    setObjectName(QStringLiteral("frmDataUploader"));
    setWindowTitle(QStringLiteral("Data Uploader and Rotor Handler"));
    buildForm(*this, layout, ClientWidth, ClientHeight, fontFamily);
    auto* messages = findChild<QPlainTextEdit*>(QStringLiteral("txtFileData"));
    messages->setAccessibleName(QStringLiteral("Messages"));
    bindMessageView(box_, *messages);
    box_.setText(firstText);
    wireCommandButtons(*this, link_, [this](Command c) { pressCommand(c); });
    connect(&link_, &ControllerLink::found, this, [this](int n) {
        showOutcome(foundLine(n));
        if (std::exchange(startingUp_, false))
            endStartUp();
    });
    // A device that answers without the product word is closed without a word, as operators know.
    connect(&link_, &ControllerLink::notFound, this, [this](int n, ControllerLink::Absence why) {
        if (why != ControllerLink::Absence::Foreign)
            showOutcome(notFoundLine(n));
        if (std::exchange(startingUp_, false))
            endStartUp();
    });
    connect(&link_, &ControllerLink::lost, this,
            [this] { showOutcome(notFoundLine(link_.portNumber())); });
    ticker_.setInterval(tickMs);
    connect(&ticker_, &QTimer::timeout, this, [this] { tick(); });
}

ControllerWindow::~ControllerWindow() {
    ticker_.stop();
    link_.close();
}

void ControllerWindow::startLink(const QString& settingsPath) {
    startingUp_ = true;
    link_.start(tokens_, settingsPath);
}

void ControllerWindow::endStartUp() {
    tickCount_ = 0;
    ticker_.start();
    emit started();
}

void ControllerWindow::showOutcome(const QString& line) {
    if (outcomes_ == OutcomeLines::Appended)
        box_.append(line);
    else
        box_.setText(line);
}

void ControllerWindow::shutDown() {
    ticker_.stop();
    link_.close();
}

void ControllerWindow::closeEvent(QCloseEvent* event) {
    shutDown();
    event->accept();
}

int runWindowProgram(ControllerWindow& window, QtSerialPort& port) {
    QObject::connect(&window, &ControllerWindow::started, &window, &QWidget::show);
    QObject::connect(qApp, &QGuiApplication::lastWindowClosed, qApp, [&port] {
        if (!port.isDraining())
            return QCoreApplication::quit();
        QObject::connect(&port, &QtSerialPort::drainEnded, qApp, &QCoreApplication::quit);
    });
    window.start();
    return QCoreApplication::exec();
}

} // namespace ravik
