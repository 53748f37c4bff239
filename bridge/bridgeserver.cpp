#include "bridgeserver.h"
#include "rotator.h"
#include "rotctlprotocol.h"
#include <QElapsedTimer>
#include <QTcpSocket>
#include <algorithm>

namespace ravik {

using namespace rotctl;

class BridgeServer::Client : public QObject {
public:
    Client(QTcpSocket* socket, Rotator& rotator, QObject* parent)
        : QObject(parent), socket_(socket), rotator_(rotator) {
        socket_->setParent(this);
        // A client that sends faster than it is served is held back by TCP, not by our memory.
        socket_->setReadBufferSize(16 * 1024);
        connect(socket_, &QTcpSocket::readyRead, this, &Client::serve);
        connect(socket_, &QTcpSocket::disconnected, this, [this] {
            gone_ = true;
            deleteLater();
        });
        idle_.start();
    }

    void close() {
        socket_->flush();
        socket_->disconnectFromHost();
    }
    // Gives its place to a newcomer.
    void drop() {
        gone_ = true;
        socket_->abort();
    }
    bool gone() const { return gone_; }
    // Since its last line was answered; a client with a command under way is never idle.
    qint64 idleMs() const { return waiting_ ? 0 : idle_.elapsed(); }

private:
    void serve() {
        while (!waiting_ && socket_->state() == QAbstractSocket::ConnectedState) {
            const qsizetype end = buffer_.indexOf('\n');
            if (end < 0 && buffer_.size() <= MaxLine) {
                const QByteArray more = socket_->read(MaxLine + 1 - buffer_.size());
                if (more.isEmpty())
                    return;
                idle_.start();
                buffer_ += more;
                continue;
            }
            if (end < 0) // a line that long is no command
                return refuse(formatReply(Request{}, Invalid), true);
            const QByteArray line = buffer_.first(end);
            buffer_.remove(0, end + 1);
            handle(line);
        }
    }

    void handle(const QByteArray& line) {
        const Request request = parseRequest(line);
        const bool printable = std::all_of(line.begin(), line.end(), [](char c) {
            return (c >= ' ' && c < 127) || c == '\t' || c == '\r';
        });
        if (request.op == Op::Empty)
            return;
        // Unknown, unprintable or with a bad argument: each counts toward the garbage rule.
        if (request.op == Op::Unknown || !printable)
            return refuse(formatReply(Request{}, Invalid), ++badLines_ >= MaxBadLines);
        if (request.error != Ok)
            return refuse(formatReply(request, request.error), ++badLines_ >= MaxBadLines);
        badLines_ = 0;
        if (request.op == Op::Quit)
            return socket_->disconnectFromHost();
        waiting_ = true;
        inExecute_ = true;
        rotator_.execute(request, this, [this](const QByteArray& bytes) {
            waiting_ = false;
            idle_.start();
            reply(bytes);
            if (!inExecute_)
                serve();
        });
        inExecute_ = false;
    }

    void refuse(const QByteArray& bytes, bool drop) {
        reply(bytes);
        if (drop)
            socket_->disconnectFromHost();
    }

    void reply(const QByteArray& bytes) {
        socket_->write(bytes);
        if (socket_->bytesToWrite() > MaxUnread)
            socket_->abort();
    }

    QTcpSocket* socket_;
    Rotator& rotator_;
    QByteArray buffer_;
    QElapsedTimer idle_;
    int badLines_ = 0;
    bool waiting_ = false;
    bool inExecute_ = false;
    bool gone_ = false;
};

BridgeServer::BridgeServer(Rotator& rotator, QObject* parent) : QObject(parent), rotator_(rotator) {
    connect(&server_, &QTcpServer::newConnection, this, &BridgeServer::onNewConnection);
}

bool BridgeServer::listen(const QHostAddress& address, quint16 port) {
    return server_.listen(address, port);
}

QList<BridgeServer::Client*> BridgeServer::clients() const {
    QList<Client*> list;
    for (QObject* child : children())
        if (auto* client = dynamic_cast<Client*>(child); client && !client->gone())
            list.append(client);
    return list;
}

void BridgeServer::onNewConnection() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        const QList<Client*> present = clients();
        if (present.size() >= MaxClients) {
            // A full house locks nobody out for ever: the longest idle gives way, if long enough.
            Client* idlest =
                *std::ranges::max_element(present, {}, [](const Client* c) { return c->idleMs(); });
            if (idlest->idleMs() < idleGiveWayMs_) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            idlest->drop();
        }
        new Client(socket, rotator_, this);
    }
}

void BridgeServer::closeAll() {
    server_.close();
    for (Client* client : clients())
        client->close();
}

} // namespace ravik
