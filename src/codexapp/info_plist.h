#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The CFBundleIdentifier of an app bundle's Info.plist, written as XML or in Apple's binary
// form ("bplist00"); nothing for anything else. Read without Apple's libraries, so that
// the same code runs, and is tested, everywhere.
std::optional<QString> bundleIdentifierFromInfoPlist(const QByteArray& plist);

// The bundle an executable lies in: "/x/Codex.app/Contents/MacOS/Codex" gives "/x/Codex.app".
QString bundlePathForExecutable(const QString& executablePath);
