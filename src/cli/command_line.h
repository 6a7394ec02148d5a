#pragma once

#include "workflows/workflows.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <optional>

// What morvane-cli gets from its process, handed in so that it can run anywhere.
struct CommandLineIo {
    QTextStream& out;
    QTextStream& err;
    bool inputIsTerminal = true;
    bool errorIsTerminal = false;
    // Standard input as readKeyInput gives it (nothing, with errno set, when the read fails),
    // asked only when needed.
    std::function<std::optional<QByteArray>()> readInput = {};
    QByteArray environmentKey = {}; // TEVRUN_API_KEY, as the process got it
};

// Exit statuses of morvane-cli.
enum CommandLineStatus : int {
    StatusDone = 0,
    StatusFailed = 1,
    StatusRefused = 2,
    StatusCodexRunning = 3,
};

// Runs one command (the arguments without the program's name) on the engine.
int runCommandLine(const QStringList& arguments, Workflows& engine, CommandLineIo& io);
