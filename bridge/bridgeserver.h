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

    explicit BridgeServer(Rotator& rotator, QObject* parent = nullptr);

    bool listen(const QHostAddress& address, quint16 port);
    QString errorString() const { return server_.errorString(); }
    void stopListening() { server_.close(); }
    // Stops taking connections and closes every client, sending what is still buffered.
    void closeAll();

private:
    class Client;
    void onNewConnection();

    Rotator& rotator_;
    QTcpServer server_;
    int clients_ = 0;
};

} // namespace ravik
