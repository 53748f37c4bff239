#include "bridgeserver.h"
#include "rotator.h"
#include "rotctlprotocol.h"
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
        connect(socket_, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    }

    void close() {
        socket_->flush();
        socket_->disconnectFromHost();
    }

private:
    void serve() {
        while (!waiting_ && socket_->state() == QAbstractSocket::ConnectedState) {
            const qsizetype end = buffer_.indexOf('\n');
            if (end < 0 && buffer_.size() <= MaxLine) {
                const QByteArray more = socket_->read(MaxLine + 1 - buffer_.size());
                if (more.isEmpty())
                    return;
                buffer_ += more;
                continue;
            }
            if (end < 0)
                return refuse(true); // a line that long is no command
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
        if (request.op == Op::Unknown || !printable)
            return refuse(++badLines_ >= MaxBadLines);
        badLines_ = request.error == Ok ? 0 : badLines_ + 1;
        if (request.op == Op::Quit)
            return socket_->disconnectFromHost();
        if (request.error != Ok)
            return reply(formatReply(request, request.error));
        waiting_ = true;
        inExecute_ = true;
        rotator_.execute(request, this, [this](const QByteArray& bytes) {
            waiting_ = false;
            reply(bytes);
            if (!inExecute_)
                serve();
        });
        inExecute_ = false;
    }

    void refuse(bool drop) {
        reply(formatReply(Request{}, Invalid));
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
    int badLines_ = 0;
    bool waiting_ = false;
    bool inExecute_ = false;
};

BridgeServer::BridgeServer(Rotator& rotator, QObject* parent) : QObject(parent), rotator_(rotator) {
    connect(&server_, &QTcpServer::newConnection, this, &BridgeServer::onNewConnection);
}

bool BridgeServer::listen(const QHostAddress& address, quint16 port) {
    return server_.listen(address, port);
}

void BridgeServer::onNewConnection() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        if (clients_ >= MaxClients) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++clients_;
        auto* client = new Client(socket, rotator_, this);
        connect(client, &QObject::destroyed, this, [this] { --clients_; });
    }
}

void BridgeServer::closeAll() {
    server_.close();
    for (QObject* child : children())
        if (auto* client = dynamic_cast<Client*>(child))
            client->close();
}

} // namespace ravik
