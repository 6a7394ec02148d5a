#include "relay/relay_request.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTimer>

namespace {

// Swallows user input while a request is waited for, so that nothing the user does then
// starts a second operation afterwards.
class UserInputBlocker : public QObject {
public:
    UserInputBlocker() { QCoreApplication::instance()->installEventFilter(this); }
    ~UserInputBlocker() override { QCoreApplication::instance()->removeEventFilter(this); }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::InputMethod:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::ContextMenu:
            return true;
        case QEvent::Close:
            return event->spontaneous(); // the window stays open until the work is done
        default:
            return false;
        }
    }
};

QNetworkAccessManager& sharedNetworkManager()
{
    // Owned by the application, so it goes before Qt shuts down.
    static auto* manager = new QNetworkAccessManager(QCoreApplication::instance());
    return *manager;
}

} // namespace

RelayAnswer postToRelay(const RelayEndpoint& endpoint, const QString& key, const QByteArray& body)
{
    QNetworkRequest request(endpoint.responsesURL());
    request.setRawHeader("Authorization", "Bearer " + key.toUtf8());
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setTransferTimeout(endpoint.requestTimeoutMs);
    if (!endpoint.extraCaCertificates.isEmpty()) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.addCaCertificates(endpoint.extraCaCertificates);
        request.setSslConfiguration(ssl);
    }

    QNetworkReply* reply = sharedNetworkManager().post(request, body);
    {
        UserInputBlocker blocker;
        QEventLoop loop;
        QTimer overallWait;
        overallWait.setSingleShot(true);
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QObject::connect(&overallWait, &QTimer::timeout, &loop, &QEventLoop::quit);
        overallWait.start(endpoint.overallWaitMs);
        if (!reply->isFinished())
            loop.exec();
    }

    RelayAnswer answer;
    if (!reply->isFinished()) {
        // A completion after the wait reaches nobody.
        reply->disconnect();
        reply->abort();
        reply->deleteLater();
        return answer;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        answer.outcome = RelayAnswer::Outcome::Answered;
        answer.status = status.toInt();
        answer.body = reply->readAll();
    } else if (reply->error() != QNetworkReply::NoError) {
        answer.outcome = RelayAnswer::Outcome::TransferFailed;
    } else {
        answer.outcome = RelayAnswer::Outcome::Answered;
        answer.body = reply->readAll();
    }
    reply->deleteLater();
    return answer;
}
