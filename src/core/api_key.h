#pragma once

#include <QString>

// A TEVRUN API key: after trimming, "sk-" and at least one more character, all of them
// ASCII letters, digits, ".", "_" or "-".
bool isLikelyApiKey(const QString& text);
// Whether the text, trimmed, begins as a key does ("sk-"): such a text is never shown back,
// whatever it was given as.
bool beginsLikeApiKey(const QString& text);

// The key with its middle left out ("sk-abcd…wxyz"), to show which key it is without
// showing it; a short key shows no more than its prefix.
QString shortenedKey(const QString& key);
