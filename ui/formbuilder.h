#pragma once
#include "commands.h"
#include <QString>
#include <QWidget>
#include <functional>
#include <span>

namespace ravik {

class ControllerLink;

enum class ControlKind { Button, TextBox, MultiLineBoth, MultiLineVertical, Label, Frame };

inline constexpr int TwipsPerPixel = 15;
// The window's default font size; controls without a size of their own use it.
inline constexpr int DefaultFontPoints = 8;

// One control of a window, as the layout table gives it. Places are in twips, relative to the
// window's client area or to the named frame. Rows are in tab order.
struct ControlRow {
    const char* name;
    ControlKind kind;
    const char* caption;
    int left, top, width, height;
    const char* frame = nullptr; // the frame that holds it; nullptr for the window itself
    int fontPoints = 0;          // 0: the window's default font
    bool centred = false;
    QRgb textColour = 0; // 0: default
};

inline constexpr const char* StatusButtonName = "cmdStatus";

// A button of the command vocabulary: its object name and caption come from CommandTable, so
// each caption is written once.
constexpr ControlRow commandButton(Command c, int left, int top, int width, int height,
                                   const char* frame = nullptr) {
    return {commandRow(c).button.data(),
            ControlKind::Button,
            commandRow(c).caption.data(),
            left,
            top,
            width,
            height,
            frame};
}

// The status request's button, "Show rotor status".
constexpr ControlRow statusButton(int left, int top, int width, int height, const char* frame) {
    return {StatusButtonName,
            ControlKind::Button,
            StatusCaption.data(),
            left,
            top,
            width,
            height,
            frame};
}

// Builds the controls of `rows` on `form` (object names = the rows' names, geometry converted
// from twips, tab order = row order) and sizes the client area. Captions are drawn in
// formFamily(`family`).
void buildForm(QWidget& form, std::span<const ControlRow> rows, int clientWidthTwips,
               int clientHeightTwips, const QString& family = {});

// `preferred` when it is installed; else MS Sans Serif or a sans serif of about its width; else
// the platform's own.
QString formFamily(const QString& preferred = {});
QFont formFont(int points, const QString& family);

// Connects "Show rotor status" to the link's status request, and every button of the command
// vocabulary that the form has to `press`.
void wireCommandButtons(QWidget& form, ControllerLink& link,
                        const std::function<void(Command)>& press);

// Without a display Qt aborts with a platform plugin error; instead this tells the operator how
// to run `program` and returns false.
bool haveDisplay(const char* program);

} // namespace ravik
