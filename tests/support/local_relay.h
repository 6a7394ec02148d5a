#pragma once

#include "relay/relay_endpoint.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QPair>
#include <QThread>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class RelayServer;

// A real HTTP/1.1 server on 127.0.0.1, on its own thread, answering each request as the
// test scripts it.
class LocalRelay {
public:
    struct Reply {
        int status = 200;
        QByteArray body = R"({"output_text":"ok"})";
        QList<QPair<QByteArray, QByteArray>> headers{};
        int delayMs = 0;
        bool silent = false;  // never answers
        bool hangUp = false;  // closes the connection without answering
    };
    struct Request {
        QByteArray method;
        QByteArray path;
        QMap<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };
    LocalRelay();
    ~LocalRelay();

    // Replies are used in order; once they run out, every request gets the default Reply.
    void enqueue(const Reply& reply);
    // Every request gets what the function makes of it, the queue aside.
    void answerWith(std::function<Reply(const Request&)> responder);
    RelayEndpoint endpoint(int requestTimeoutMs = 3000, int overallWaitMs = 4000) const;
    std::vector<Request> requests() const;

private:
    friend class RelayServer;
    Reply replyTo(const Request& request);
    void record(const Request& request);

    quint16 m_port = 0;
    mutable QMutex m_mutex;
    std::deque<Reply> m_replies;
    std::function<Reply(const Request&)> m_responder;
    std::vector<Request> m_requests;
    QThread m_thread;
    QObject m_context; // lives on m_thread: where the server is made and destroyed
    RelayServer* m_server = nullptr;
};
