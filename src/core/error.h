#pragma once

#include <QString>

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
