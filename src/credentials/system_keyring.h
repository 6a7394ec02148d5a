#pragma once

#include "core/error.h"

#include <QByteArray>
#include <QString>

#include <optional>

// One generic password of the system's secret store, found by the attributes Codex's
// keyring library gives it (service and account), whatever schema wrote it. Nothing when
// there is no such entry; the error, a short phrase in the user's words, when the store
// does not answer, is locked or refuses. Each system has its own, compiled only there.
Expected<std::optional<QByteArray>> readKeyringEntry(const QString& service, const QString& account);

// What the user is told the store is called on this system.
QString systemKeyringName();
