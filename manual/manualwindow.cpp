#include "manualwindow.h"
#include "dialogs.h"
#include "pointto.h"
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <array>

namespace ravik {

namespace {

constexpr QRgb Red = 0xffff0000;

// The window as operators know it, in tab order. Places in twips; the command buttons' names and
// captions come from the command vocabulary.
constexpr std::array<ControlRow, 22> Layout{{
    {"txtFileData", ControlKind::MultiLineVertical, "Text1\r\n", 2880, 840, 3375, 2415},
    {"Label1", ControlKind::Label, "Manual Control", 1440, 120, 3375, 495, nullptr, 24, true, Red},
    {"Frame3", ControlKind::Frame, "Rotor Controls", 120, 840, 2535, 2415},
    commandButton(Command::Unwind, 240, 2040, 2055, 255, "Frame3"),
    commandButton(Command::Mode1, 240, 1320, 2055, 255, "Frame3"),
    commandButton(Command::Mode0, 240, 1680, 2055, 255, "Frame3"),
    commandButton(Command::Disable, 240, 960, 2055, 255, "Frame3"),
    commandButton(Command::Enable, 240, 600, 2055, 255, "Frame3"),
    statusButton(240, 240, 2055, 255, "Frame3"),
    {"frmPoint", ControlKind::Frame, "Point Rotors", 120, 3600, 2535, 1095},
    {"txtAzimuth", ControlKind::TextBox, "0", 960, 240, 495, 285, "frmPoint"},
    {"txtElevation", ControlKind::TextBox, "0", 960, 600, 495, 285, "frmPoint"},
    {"lblAzimuth", ControlKind::Label, "Azimuth", 120, 240, 615, 255, "frmPoint"},
    {"lblElevation", ControlKind::Label, "Elevation", 120, 600, 855, 255, "frmPoint"},
    {"cmdGo", ControlKind::Button, "Go!", 1680, 240, 615, 615, "frmPoint"},
    commandButton(Command::Up, 3360, 3480, 615, 495),
    commandButton(Command::Stop, 3360, 3960, 615, 495),
    commandButton(Command::Down, 3360, 4440, 615, 495),
    commandButton(Command::Decrease, 2760, 3960, 615, 495),
    commandButton(Command::Increase, 3960, 3960, 615, 495),
    commandButton(Command::Calibrate, 4920, 3600, 1335, 495),
    commandButton(Command::Restart, 4920, 4320, 1335, 495),
}};

const QString PointingError = QStringLiteral("Pointing Error");

} // namespace

std::span<const ControlRow> manualLayout() {
    return Layout;
}

ManualWindow::ManualWindow(const Platform& platform, QWidget* parent)
    : ControllerWindow(*platform.port, OutcomeLines::ReplaceText, Layout,
                       QStringLiteral("Text1\r\n"), 1000, platform.fontFamily, parent),
      platform_(platform) {
    setWindowIcon(QIcon(QStringLiteral(":/handpoint.png")));
    // Replies are shown as they come, the end of a reply included; nothing waits for one.
    connect(&link_, &ControllerLink::statusRequested, this,
            [this] { box_.setText(QStringLiteral("Reading the status\r\n")); });
    connect(&link_, &ControllerLink::received, this,
            [this](const QByteArray& piece) { box_.append(QString::fromLatin1(piece)); });
    connect(findChild<QPushButton*>(QStringLiteral("cmdGo")), &QPushButton::clicked, this,
            &ManualWindow::pointRotors);
    // Each entry box is named by its label, for screen readers and for the label's buddy.
    for (const auto& [label, box] :
         {std::pair{"lblAzimuth", "txtAzimuth"}, std::pair{"lblElevation", "txtElevation"}}) {
        auto* caption = findChild<QLabel*>(QString::fromLatin1(label));
        auto* entry = findChild<QLineEdit*>(QString::fromLatin1(box));
        caption->setBuddy(entry);
        entry->setAccessibleName(caption->text());
    }
}

void ManualWindow::pressCommand(Command command) {
    if (command == Command::Unwind)
        box_.setText(QStringLiteral("Unwinding\r\n")); // said even without a controller
    ControllerWindow::pressCommand(command);
}

void ManualWindow::start() {
    startLink(platform_.settingsPath);
}

void ManualWindow::pointRotors() {
    const PointToCheck check = checkPointTo(
        findChild<QLineEdit*>(QStringLiteral("txtAzimuth"))->text(),
        findChild<QLineEdit*>(QStringLiteral("txtElevation"))->text(), platform_.locale);
    switch (check.kind) {
    case PointToCheck::AzimuthOutOfRange:
        platform_.dialogs->message(QStringLiteral("Az must be between 0 and 359"), PointingError,
                                   Dialogs::Icon::None);
        return;
    case PointToCheck::ElevationOutOfRange:
        platform_.dialogs->message(QStringLiteral("El must be between 0 and 90"), PointingError,
                                   Dialogs::Icon::None);
        return;
    case PointToCheck::ConversionFailed:
        platform_.dialogs->message(QStringLiteral("Error found in GO subroutine"),
                                   QStringLiteral("General Error"), Dialogs::Icon::None);
        return;
    case PointToCheck::Accepted:
        break;
    }
    box_.setText(QStringLiteral("Moving\r\n"));
    if (!link_.isOpen())
        return;
    if (!link_.writeData(pointToCommand(check.azimuth, check.elevation)))
        platform_.dialogs->message(QStringLiteral("Error found in GO subroutine"),
                                   QStringLiteral("General Error"), Dialogs::Icon::None);
}

} // namespace ravik
