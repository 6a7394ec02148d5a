#include "support/local_relay.h"

#include <QCoreApplication>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

class RelayServer : public QTcpServer {
public:
    explicit RelayServer(LocalRelay* relay) : m_relay(relay) {}

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
            buffer->append(socket->readAll());
            handle(socket, *buffer);
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

private:
    void handle(QTcpSocket* socket, QByteArray& buffer)
    {
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        LocalRelay::Request request;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
        request.method = requestLine.value(0);
        request.path = requestLine.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length").toLongLong();
        if (buffer.size() < headerEnd + 4 + length)
            return;
        request.body = buffer.mid(headerEnd + 4, length);
        buffer.clear();
        m_relay->record(request);

        const LocalRelay::Reply reply = m_relay->replyTo(request);
        if (reply.silent)
            return;
        QTimer::singleShot(reply.delayMs, socket, [socket, reply] {
            if (reply.hangUp) {
                socket->abort();
                return;
            }
            // The reason phrase means nothing to a client: one word serves every status.
            QByteArray response = "HTTP/1.1 " + QByteArray::number(reply.status)
                + " Reply\r\nContent-Length: " + QByteArray::number(reply.body.size()) + "\r\nConnection: close\r\n";
            for (const auto& [name, value] : reply.headers)
                response += name + ": " + value + "\r\n";
            socket->write(response + "\r\n" + reply.body);
            socket->disconnectFromHost();
        });
    }

    LocalRelay* m_relay;
};

LocalRelay::LocalRelay()
{
    m_context.moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        &m_context,
        [this] {
            m_server = new RelayServer(this);
            if (!m_server->listen(QHostAddress::LocalHost))
                qFatal("the local relay cannot listen");
            m_port = m_server->serverPort();
        },
        Qt::BlockingQueuedConnection);
}

LocalRelay::~LocalRelay()
{
    QMetaObject::invokeMethod(
        &m_context,
        [this] {
            delete m_server;
            m_context.moveToThread(QCoreApplication::instance()->thread());
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void LocalRelay::enqueue(const Reply& reply)
{
    QMutexLocker lock(&m_mutex);
    m_replies.push_back(reply);
}

void LocalRelay::answerWith(std::function<Reply(const Request&)> responder)
{
    QMutexLocker lock(&m_mutex);
    m_responder = std::move(responder);
}

LocalRelay::Reply LocalRelay::replyTo(const Request& request)
{
    QMutexLocker lock(&m_mutex);
    if (m_responder)
        return m_responder(request);
    if (m_replies.empty())
        return Reply();
    Reply reply = m_replies.front();
    m_replies.pop_front();
    return reply;
}

void LocalRelay::record(const Request& request)
{
    QMutexLocker lock(&m_mutex);
    m_requests.push_back(request);
}

std::vector<LocalRelay::Request> LocalRelay::requests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

RelayEndpoint LocalRelay::endpoint(int requestTimeoutMs, int overallWaitMs) const
{
    RelayEndpoint endpoint;
    endpoint.baseURL = QUrl(QStringLiteral("http://127.0.0.1:%1/v1").arg(m_port));
    endpoint.requestTimeoutMs = requestTimeoutMs;
    endpoint.overallWaitMs = overallWaitMs;
    return endpoint;
}
