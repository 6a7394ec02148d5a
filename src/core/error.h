#pragma once

#include <QString>

// The codes of Morvane's own errors. A key the relay refuses carries the HTTP status.
enum ErrorCode : int {
    ErrorProfileWithoutLogin = 10, // no auth.json to record
    ErrorProfileMissing = 11,      // no profile to restore
    ErrorRelayUnreachable = 20,    // no answer could be had
    ErrorRelayTimedOut = 21,       // no answer in time
    ErrorThreadIndex = 30,         // SQLite refused a statement
    ErrorThreadIndexOpen = 31,     // the thread index cannot be opened
    ErrorThreadIndexCommit = 32,   // the update could not be committed
    ErrorUnknownSavedKey = 40,     // no saved key has that id
    ErrorUnknownRestorePoint = 50, // no restore point has that id
    ErrorRestorePointIncomplete = 51, // the point cannot be put back whole
    ErrorBackupDamaged = 52,       // a backed-up file is not as it was recorded
    ErrorChangedWhileStaged = 60,  // a file changed between its read and its replacement
    ErrorHomeBusy = 61,            // another front end is writing to the home
    ErrorCodexStarted = 62,        // Codex started while conversations were being moved
    ErrorNoSpace = 63,             // the staged files would not fit
    ErrorConversationsOpen = 64,   // Codex holds a conversation, or its own locks, open
    ErrorConfigNotEditable = 70,   // config.toml cannot be edited line by line without risk
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

// Fills an optional out-parameter.
inline void setError(Error* error, const QString& domain, int code, const QString& message)
{
    if (error)
        *error = Error{domain, code, message};
}

inline void setMorvaneError(Error* error, int code, const QString& message)
{
    setError(error, morvaneErrorDomain, code, message);
}
