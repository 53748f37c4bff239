#include "replywait.h"
#include "controllerlink.h"
#include <QTimer>
#include <memory>

namespace ravik {

void awaitReply(ControllerLink& link, int ms,
                std::function<void(const std::optional<QByteArray>& reply)> done) {
    // The connections and the timer live on `wait`; deleting it ends them.
    auto* wait = new QObject(&link);
    const auto once =
        std::make_shared<std::function<void(const std::optional<QByteArray>&)>>(std::move(done));
    const auto finish = [wait, once](const std::optional<QByteArray>& reply) {
        if (!*once)
            return;
        wait->deleteLater();
        std::exchange(*once, {})(reply);
    };
    QObject::connect(&link, &ControllerLink::replyEnded, wait, finish);
    QObject::connect(&link, &ControllerLink::lost, wait, [finish] { finish(std::nullopt); });
    QTimer::singleShot(link.isOpen() ? ms : 0, wait, [finish] { finish(std::nullopt); });
}

} // namespace ravik
