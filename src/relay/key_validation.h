#pragma once

#include "core/error.h"
#include "relay/relay_endpoint.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Spends one output token on the relay with the key; true when it answers 2xx.
// Otherwise the error is code 20 (no transfer), 21 (no answer in time) or the HTTP status.
bool validateTevrunApiKey(const RelayEndpoint& endpoint, const QString& key, Error* error = nullptr);

// A one-line Chinese message for a refused key, from the relay's error body when it has one.
QString apiErrorMessageFromData(const std::optional<QByteArray>& body, qint64 status);
