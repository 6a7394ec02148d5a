#pragma once

#include "core/error.h"
#include "relay/relay_endpoint.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Spends one output token on the relay with the key: done when it answers 2xx. Otherwise an
// error that says why; a refusal's carries the HTTP status as its code.
Expected<> validateTevrunApiKey(const RelayEndpoint& endpoint, const QString& key);

// A one-line Chinese message for a refused key, from the relay's error body when it has one.
QString apiErrorMessageFromData(const std::optional<QByteArray>& body, qint64 status);
