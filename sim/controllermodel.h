#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <optional>
#include <vector>

#include "commands.h"

namespace ravik::sim {

// Behaviour knobs of the virtual controller: rotor speeds and the faults tests provoke.
struct ControllerConfig {
    double azimuthSpeed = 6.0;   // degrees per second
    double elevationSpeed = 3.0; // degrees per second
    bool silent = false;         // never answer anything
    bool shortAnswer = false;    // identification answer of exactly 4 characters
    bool capsAnswer = false;     // product word in capitals
    bool noEof = false;          // replies never carry the end-of-file character
    bool garbage = false;        // every reply replaced by text without the product or status word
    int silentAfter = -1;        // stop answering after this many upload lines; negative: never
    bool ownReply = false;       // commands the programs follow with "Z" get a short reply first
    bool bareEof = false;        // upload lines are answered by the end-of-file character alone
    int lateProductMs = -1; // identification sent as 5 characters without the product word, then
                            // the rest this much later; negative: sent whole
};

struct StoredPoint {
    qint64 utcMs = 0; // milliseconds since the epoch, UTC
    int azimuth = 0;  // 0..359
    int elevation = 0;
};

// The Ravik controller as a plain state machine: bytes in, reply bytes out, rotors moved by the
// caller's clock. Nothing here does I/O or reads a clock, so tests drive it deterministically.
class ControllerModel {
public:
    static constexpr int Capacity = 10001;
    static constexpr double AzimuthMin = -180.0; // mechanical travel, with overlap both ways
    static constexpr double AzimuthMax = 540.0;
    static constexpr double ElevationMin = 0.0;
    static constexpr double ElevationMax = 90.0;
    static constexpr int DataLimit = 64; // longest data command kept; longer ones are dropped
    static constexpr int LateSplit = 5;  // first piece of a late identification answer

    explicit ControllerModel(const ControllerConfig& config = {}, qint64 nowMs = 0);

    // Takes bytes split in any way; returns the reply bytes they provoke.
    QByteArray receive(QByteArrayView bytes, qint64 nowMs);
    // Moves the rotors up to `nowMs`; returns output whose time has come (the late rest of an
    // identification answer; a real controller sends nothing unasked).
    QByteArray advance(qint64 nowMs);

    double azimuth() const { return az_; }
    double elevation() const { return el_; }
    double targetAzimuth() const { return targetAz_; }
    double targetElevation() const { return targetEl_; }
    bool motionEnabled() const { return motion_; }
    int mode() const { return mode_; }
    int azimuthJog() const { return jogAz_; }   // +1 increasing, -1 decreasing, 0 none
    int elevationJog() const { return jogEl_; } // +1 up, -1 down, 0 none
    bool clockSet() const { return clockSet_; }
    // The controller's clock at `nowMs`; invalid while unset.
    QDateTime clock(qint64 nowMs) const;
    const std::vector<StoredPoint>& points() const { return points_; }
    int uploadLinesAccepted() const { return uploads_; }
    bool answering() const;

    // Every byte received so far, in order, ignored ones included.
    const QByteArray& received() const { return received_; }
    // Hands out the record and empties it, so a long-running front keeps no growing copy.
    QByteArray takeReceived();

    QByteArray statusText(qint64 nowMs) const;
    QByteArray identificationText() const;

    struct Token; // a recognised request, built from the command vocabulary

private:
    enum class Data { None, TimeSet, PointTo, Upload };

    void feed(char byte, qint64 nowMs, QByteArray& out);
    void execute(const Token& token, qint64 nowMs, QByteArray& out);
    void runCommand(Command command, qint64 nowMs);
    void finishData(qint64 nowMs, QByteArray& out);
    void reply(QByteArray text, QByteArray& out) const;
    void holdManualTarget(qint64 nowMs);
    void stopJogs();
    int dueIndex(qint64 nowMs) const;
    void powerOnDefaults();
    double nearestWinding(int compassAzimuth) const;

    ControllerConfig config_;
    qint64 lastMs_;
    double az_ = 0, el_ = 0, targetAz_ = 0, targetEl_ = 0;
    bool motion_ = false;
    int mode_ = 0;
    int jogAz_ = 0, jogEl_ = 0;
    bool clockSet_ = false;
    qint64 clockBaseUtcMs_ = 0, clockSetAtMs_ = 0;
    std::vector<StoredPoint> points_;
    int applied_ = -1; // stored point last taken as target by tracking
    int uploads_ = 0;

    QByteArray received_;
    QByteArray pending_;   // bytes of a command not yet complete
    QByteArray lastToken_; // the command completed by the byte just before
    Data data_ = Data::None;
    QByteArray dataBytes_;
    bool dataOverflow_ = false;
    QByteArray late_; // held back until lateAtMs_
    qint64 lateAtMs_ = 0;
};

// Parses "yyyy/mm/dd HH:mm:ss" (a two-digit year means 1970..2069) into UTC milliseconds.
std::optional<qint64> parseControllerTime(QByteArrayView text);
// Parses an upload line's text (without its carriage return): date, time, azimuth, elevation.
std::optional<StoredPoint> parseUploadLine(QByteArrayView text);
// Parses the data of a point-to command after "GP": azimuth 0..359, a blank, elevation 0..90.
std::optional<std::pair<int, int>> parsePointTo(QByteArrayView text);

} // namespace ravik::sim
