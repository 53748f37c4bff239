#pragma once
#include "commands.h"
#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace ravik::rotctl {

// Hamlib's rotctld error numbers that the bridge answers with ("RPRT -n").
enum Error : int {
    Ok = 0,
    Invalid = -1, // bad argument, unknown command
    Timeout = -5, // the controller did not answer in time
    IoError = -6, // no controller on the port
};

enum class Op { Empty, Unknown, SetPos, GetPos, Stop, Park, Reset, Move, GetInfo, DumpState, Quit };

// One command line of a client, checked.
struct Request {
    Op op = Op::Empty;
    QByteArray name;    // the long name, shown by the extended reply form
    QByteArray args;    // the arguments as typed, echoed by the extended reply form
    char separator = 0; // 0: plain replies; otherwise the extended form, lines ending here
    int error = Ok;     // an argument that does not pass
    int azimuth = 0;    // SetPos: 0..359
    int elevation = 0;  // SetPos: 0..90
    Command jog{};      // Move: the jog of that direction
};

// Reads one line without its line end. Long names may be written with or without the
// backslash Hamlib uses; a leading '+', ';', '|' or ',' asks for the extended reply form.
Request parseRequest(QByteArrayView line);

// A value line of a get command: bare in the plain form, labelled in the extended form.
struct ValueLine {
    QByteArray plain;
    QByteArray extended;
};

// The reply to `request`: the values one a line followed by nothing (plain, success), or
// "RPRT n" (commands without values, and every failure); the extended form echoes the command
// first and always ends with "RPRT n".
QByteArray formatReply(const Request& request, int code, const QList<ValueLine>& values = {});

// get_pos's two value lines, two decimals as rotctld prints them.
QList<ValueLine> positionLines(double azimuth, double elevation);
// \dump_state's lines: what Hamlib's network client reads on connecting.
QList<ValueLine> dumpStateLines();
// The set_pos arguments checked: azimuth modulo 360, both rounded half to even, elevation
// 0..90. False when either is not a number or the elevation is out of range.
bool checkPosition(QByteArrayView azText, QByteArrayView elText, int& azimuth, int& elevation);

} // namespace ravik::rotctl
