#pragma once
#include <QByteArray>
#include <array>
#include <string_view>

namespace ravik {

// The controller's fixed command vocabulary. Every command string lives here and nowhere else.
enum class Command {
    Clear,
    Disable,
    Enable,
    GoToFirst,
    Mode0,
    Mode1,
    Unwind,
    Up,
    Down,
    Increase,
    Decrease,
    Stop,
    Restart,
    Calibrate,
};

struct CommandRow {
    Command command;
    std::string_view first;   // written first, no terminator
    std::string_view second;  // written at once after the first; empty for one-write commands
    std::string_view caption; // the button's caption
    std::string_view button;  // the button's object name, e.g. "cmdClear"
    bool statusAfter;         // the status request follows at once
};

inline constexpr std::array<CommandRow, 14> CommandTable{{
    {Command::Clear, "X", "", "Clear the buffer", "cmdClear", true},
    {Command::Disable, "S", "", "Disable rotor motion", "cmdDisable", true},
    {Command::Enable, "G", "", "Enable rotor motion", "cmdEnable", true},
    {Command::GoToFirst, "G", "F", "Go to first stored position", "cmdGoTo", false},
    {Command::Mode0, "m0", "", "Mode 0", "cmdMode0", true},
    {Command::Mode1, "m1", "", "Mode 1", "cmdMode1", true},
    {Command::Unwind, "w", "", "Unwind", "cmdUnwind", false},
    {Command::Up, "u", "", "Up", "cmdUp", false},
    {Command::Down, "d", "", "Down", "cmdDown", false},
    {Command::Increase, "r", "", "Inc. Az.", "cmdIncrease", false},
    {Command::Decrease, "l", "", "Dec. Az.", "cmdDecrease", false},
    {Command::Stop, "s", "", "Stop", "cmdStop", true},
    {Command::Restart, "*", "", "Restart", "cmdRestart", true},
    {Command::Calibrate, "c", "x", "Set Zero", "cmdCalibrate", true},
}};

constexpr const CommandRow& commandRow(Command c) {
    for (const auto& s : CommandTable)
        if (s.command == c)
            return s;
    return CommandTable[0]; // unreachable: every Command has a row
}

// Requests that carry no button of the table.
inline constexpr std::string_view IdentifyRequest = "?";
inline constexpr std::string_view StatusRequest = "Z";
inline constexpr std::string_view StatusCaption = "Show rotor status";
inline constexpr std::string_view ProductWord = "Ravik";
inline constexpr std::string_view StatusWord = "Motion ";
// A vocabulary string as the bytes the serial layer takes.
inline QByteArray toBytes(std::string_view s) {
    return QByteArray(s.data(), qsizetype(s.size()));
}

// Prefixes of the commands that carry data; each ends with a carriage return.
inline constexpr std::string_view TimeSetPrefix = "T";
inline constexpr std::string_view PointToPrefix = "GP";
inline constexpr char DataTerminator = '\r';

} // namespace ravik
