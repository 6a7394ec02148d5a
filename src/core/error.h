#pragma once

#include <QString>

#include <expected>

// The codes of Morvane's own errors that a caller acts on; any other error of Morvane's has
// code 0 and is only shown. A key the relay refuses carries the HTTP status.
enum ErrorCode : int {
    ErrorRestorePointIncomplete = 51, // the point cannot be put back whole
    ErrorChangedWhileStaged = 60,  // a file changed between its read and its replacement
    ErrorCodexStarted = 62,        // Codex started while conversations were being moved
    ErrorConversationsOpen = 64,   // Codex holds a conversation, or its own locks, open
};

// An error reported to the user: its message is shown unchanged.
struct Error {
    QString domain;
    int code = 0;
    QString message;
};

inline const QString morvaneErrorDomain = QStringLiteral("Morvane");
// File and system errors keep the errno (or 0) as their code.
inline const QString fileErrorDomain = QStringLiteral("File");

// What a call that can fail gives: its value, or the error that stopped it.
template <class T = void>
using Expected = std::expected<T, Error>;
