#pragma once

#include <QUrl>

// Where the relay is and how long to wait for it. The program uses the standard endpoint;
// tests point it at a local relay with short time-outs.
struct RelayEndpoint {
    QUrl baseURL;
    int requestTimeoutMs = 20'000; // idle time-out of the transfer itself
    int overallWaitMs = 22'000;    // how long the caller waits for any answer

    static RelayEndpoint standard();
    QUrl responsesURL() const;
};
