#include "relay/relay_request.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

RelayAnswer postToRelay(const RelayEndpoint& endpoint, const QString& key, const QByteArray& body)
{
    QNetworkRequest request(endpoint.responsesURL());
    request.setRawHeader("Authorization", "Bearer " + key.toUtf8());
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setTransferTimeout(endpoint.requestTimeoutMs);

    // A manager of its own on the calling thread: the reply, finished or not, goes with it.
    QNetworkAccessManager manager;
    QNetworkReply* reply = manager.post(request, body);
    QEventLoop loop;
    QTimer overallWait;
    overallWait.setSingleShot(true);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&overallWait, &QTimer::timeout, &loop, &QEventLoop::quit);
    overallWait.start(endpoint.overallWaitMs);
    if (!reply->isFinished())
        loop.exec();

    RelayAnswer answer;
    if (!reply->isFinished()) {
        reply->disconnect();
        reply->abort();
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
    return answer;
}
