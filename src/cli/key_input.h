#pragma once

#include <QByteArray>

#include <optional>

// A key is one line of a few dozen characters: a source longer than this is some other
// file (a log, /dev/zero) and is not read to its end.
inline constexpr qsizetype keyInputLimit = 64 * 1024;

// Reads a key file or standard input as it comes (a pipe gives its bytes in pieces), up to
// one byte past keyInputLimit; nothing, with errno set, when the read fails.
std::optional<QByteArray> readKeyInput(int fd);
