#pragma once

#include <QString>

// Fixed addresses and names of the program. Nothing here is configurable.
namespace morvane {

// The project's version, as the build sets it.
inline const QString version = QStringLiteral(MORVANE_VERSION);

inline const QString relayBaseURL = QStringLiteral("https://api.tevrun.cloud/v1");
inline const QString relayHomePageURL = QStringLiteral("https://tevrun.cloud/");

// Our own bundle identifier: a process carrying it is never mistaken for Codex.
inline const QString ownBundleIdentifier = QStringLiteral("cloud.tevrun.morvane");

inline const QString codexAppPath = QStringLiteral("/Applications/Codex.app");

inline const QString providerOpenAI = QStringLiteral("openai");
inline const QString providerTevrun = QStringLiteral("tevrun");

} // namespace morvane
