#pragma once
#include <QByteArray>
#include <functional>
#include <optional>

namespace ravik {

class ControllerLink;

// Waits, without blocking, for the next reply to end: `done` is called once, from the event loop,
// with the reply, or with nothing when `ms` pass or the controller goes away (or is not there)
// first. Waiting on the link itself: a wait outlived by its link just ends.
void awaitReply(ControllerLink& link, int ms,
                std::function<void(const std::optional<QByteArray>& reply)> done);

} // namespace ravik
