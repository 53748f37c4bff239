// ravik-rotctld: a Ravik controller behind Hamlib's rotctld protocol.
#include "bridgeoptions.h"
#include "bridgeserver.h"
#include "errors.h"
#include "numbers.h"
#include "portname.h"
#include "qtserialport.h"
#include "rotator.h"
#include "settings.h"
#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2];

void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &c, 1);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const ravik::BridgeOptions options = ravik::parseBridgeOptions(app.arguments());
    if (options.help || !options.error.isEmpty()) {
        if (!options.error.isEmpty())
            std::fprintf(stderr, "ravik-rotctld: %s\n", qPrintable(options.error));
        std::fputs(qPrintable(ravik::bridgeUsage()), options.help ? stdout : stderr);
        return options.help ? 0 : 2;
    }

    // Signals arrive through a socket pair, so they are handled between events, never inside
    // a command.
    ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // The address first: a bridge that cannot listen exits without a byte to the controller.
    ravik::QtSerialPort serial(QDir::currentPath());
    serial.setDevicePath(options.device);
    ravik::Rotator rotator(serial);
    rotator.setPark(options.parkAz, options.parkEl);
    ravik::BridgeServer server(rotator);
    if (!server.listen(options.address, options.listenPort)) {
        std::fprintf(stderr, "ravik-rotctld: cannot listen on %s:%u: %s\n",
                     qPrintable(options.address.toString()), options.listenPort,
                     qPrintable(server.errorString()));
        return 1;
    }
    // Clients wait in the backlog until the first probe has answered.
    server.pauseAccepting();

    int port = options.port ? options.port : 1;
    if (!options.port && options.device.isEmpty()) {
        ravik::Tokens tokens;
        try {
            port = ravik::roundToInt16(
                ravik::readPortSetting(tokens, QDir::current().filePath("Ravik.ini")));
        } catch (const ravik::RunTimeError&) {
            port = 0;
        }
    }
    if (options.device.isEmpty())
        rotator.setEntryCheck([](int n) { return ravik::portHasEntry(n, QDir::currentPath()); });
    rotator.start(port, [&](bool found) {
        if (!found && !options.wait) {
            std::fprintf(stderr, "ravik-rotctld: no Ravik controller on port %d%s%s\n", port,
                         options.device.isEmpty() ? "" : " at ", qPrintable(options.device));
            return QCoreApplication::exit(1);
        }
        rotator.keepTrying(); // also after a loss: the bridge runs for days, adapters get pulled
        server.resumeAccepting();
        std::fprintf(stderr, "ravik-rotctld: listening on %s:%u\n",
                     qPrintable(server.serverAddress().toString()), server.serverPort());
    });

    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
        notifier.setEnabled(false);
        server.stopListening();
        rotator.shutdown([&server] {
            server.closeAll();
            QCoreApplication::exit(0);
        });
    });
    return app.exec();
}
