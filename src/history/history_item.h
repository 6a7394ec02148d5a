#pragma once

#include <QDateTime>
#include <QString>

// A TEVRUN API key that passed a check, as the key history keeps it.
struct HistoryItem {
    QString id; // the file's name without ".json"
    QString apiKey;
    QDateTime date;
};
