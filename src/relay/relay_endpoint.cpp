#include "relay/relay_endpoint.h"

#include "core/constants.h"

RelayEndpoint RelayEndpoint::standard()
{
    RelayEndpoint endpoint;
    endpoint.baseURL = QUrl(morvane::relayBaseURL);
    return endpoint;
}

QUrl RelayEndpoint::responsesURL() const
{
    QUrl url = baseURL;
    url.setPath(url.path() + QStringLiteral("/responses"));
    return url;
}
