#pragma once
#include "ephemeris.h"
#include <QByteArray>
#include <vector>

namespace ravik {

// Prepares the table for the controller, in place: in every run of consecutive points with the
// same time of day all but the first get second 30, and both angles go to the 5-degree grid.
// Running it twice changes nothing more. Throws RunTimeError when a grid value leaves the
// 16-bit range (an angle of -32768).
void conditionTable(EphemerisTable& table);

// The upload line of one point: "yyyy/mm/dd HH:MM:SS az el" and a carriage return, each date and
// time field at least two characters wide (left-padded with "0"), angles as they are.
QByteArray formatEphemerisLine(const EphemerisTable& table, int index);

// The indices of the points sent, in order: point 0 when it is at or above the horizon, then
// every later point at or above the horizon whose position differs from the last one sent
// (which is (0, 0) until something has been sent).
std::vector<int> pointsToSend(const EphemerisTable& table);

// Conditions the table and returns the upload lines of the points sent, in order. Throws as
// conditionTable does.
std::vector<QByteArray> prepareUploadLines(EphemerisTable& table);

} // namespace ravik
