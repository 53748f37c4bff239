#pragma once
#include <QHostAddress>
#include <QTcpServer>

class QTcpSocket;

namespace ravik {

class Rotator;

// The TCP side: clients speaking rotctld's protocol, one command a line, each client's replies
// in the order of its commands. Nothing a client does (flooding, garbage, not reading) can hold
// up the controller or another client.
class BridgeServer : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxClients = 16;
    static constexpr int MaxLine = 1024;
    // Bad lines in a row before a client is taken for a garbage source and dropped.
    static constexpr int MaxBadLines = 8;
    // Replies a client leaves unread beyond this mean it has stalled: it is dropped.
    static constexpr qint64 MaxUnread = 64 * 1024;
    // With every place taken, a client idle this long gives its place to a newcomer. Gpredict
    // polls about every second, so a live tracker is never idle that long.
    static constexpr int IdleGiveWayMs = 60000;

    explicit BridgeServer(Rotator& rotator, QObject* parent = nullptr);

    bool listen(const QHostAddress& address, quint16 port);
    QString errorString() const { return server_.errorString(); }
    // The port bound, which differs from the one asked for when that was 0.
    quint16 serverPort() const { return server_.serverPort(); }
    QHostAddress serverAddress() const { return server_.serverAddress(); }
    void pauseAccepting() { server_.pauseAccepting(); }
    void resumeAccepting() { server_.resumeAccepting(); }
    // Tests shorten the idle time after which a client gives way.
    void setIdleGiveWayMs(int ms) { idleGiveWayMs_ = ms; }
    void stopListening() { server_.close(); }
    // Stops taking connections and closes every client, sending what is still buffered.
    void closeAll();

private:
    class Client;
    void onNewConnection();
    QList<Client*> clients() const;

    Rotator& rotator_;
    QTcpServer server_;
    int idleGiveWayMs_ = IdleGiveWayMs;
};

} // namespace ravik
