#pragma once

#include "core/codex_home.h"
#include "core/error.h"

#include <QString>

#include <vector>

// The only writers of new content into auth.json, config.toml and the profile files. They neither check
// for a running Codex nor take a backup: the workflows do both first.

// A file's new text.
struct FileText {
    QString path;
    QString text;
};

// The profile files (NAME.config.toml of the Codex home) whose model_provider names the
// provider a switch to target leaves, each with the text that names target instead, every
// other line as it was. On the way back to the account, a file the user left as the switch
// made it is the account's recorded copy again, byte for byte. An error naming the file and
// the line when one cannot be edited safely. Every writer below makes these edits too.
Expected<std::vector<FileText>> followingProfileFiles(const CodexHome& home, const QString& target);

// auth.json and auth_tevrun_last.json with the key alone (owner-only), then the API template.
Expected<> writeCleanApiConfigWithKey(const CodexHome& home, const QString& key);

// config.toml set up for the TEVRUN API in place: the template's keys set, the login read
// from auth.json (where the key is), every other line as it was. An error naming the line
// when the file cannot be edited line by line without risk, or the file's error when it
// cannot be read.
Expected<QString> apiConfigText(const CodexHome& home);
// config.toml back for the account login: the values the account's recorded configuration
// has for the template's keys and the login's store put back, what the API mode added
// taken out, every other line as it is now; the recorded file itself when nothing else
// changed since. Fails as above.
Expected<QString> accountConfigText(const CodexHome& home);

// auth.json and auth_tevrun_last.json with the key alone, then config.toml as apiConfigText
// gives it; nothing is written when it gives an error.
Expected<> writeApiConfigWithKey(const CodexHome& home, const QString& key);
// config.toml as accountConfigText gives it.
Expected<> writeAccountConfig(const CodexHome& home);

// config.toml for a fresh account login: the relay's settings out, the device-code login on
// top, every other line kept. Fails as above.
Expected<QString> freshAccountConfigText(const CodexHome& home);
// Removes the key from auth.json and writes config.toml as freshAccountConfigText gives it.
Expected<> writeFreshAccountConfig(const CodexHome& home);
// Removes the key from auth.json and writes the one-line login configuration, keeping where
// Codex keeps its databases and its login.
Expected<> writeCleanLoginConfig(const CodexHome& home);
