#pragma once

#include "relay/relay_endpoint.h"

#include <QByteArray>
#include <QString>

#include <optional>

// One POST to the relay's Responses endpoint, waited for on the calling thread, which is
// never the window's.
struct RelayAnswer {
    enum class Outcome { Answered, TransferFailed, TimedOut };
    Outcome outcome = Outcome::TimedOut;
    int status = 0; // the HTTP status, 0 when the answer was not HTTP
    QByteArray body;
};

RelayAnswer postToRelay(const RelayEndpoint& endpoint, const QString& key, const QByteArray& body);
