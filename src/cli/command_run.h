#pragma once

#include "cli/command_line.h"

#include <functional>
#include <optional>

// What a command runs with: the engine, the process's streams and the options given, and
// the ways every command reads a key and runs a workflow.
class CommandRun {
public:
    struct Options {
        bool json = false;
        bool quitCodex = false;
        QString keyFile;
        qint64 keep = 0;
    };
    CommandRun(Workflows& engine, CommandLineIo& io, Options options) : m_engine(engine), m_io(io), m_options(std::move(options)) {}

    Workflows& engine() const { return m_engine; }
    QTextStream& out() const { return m_io.out; }
    QTextStream& err() const { return m_io.err; }
    bool asJson() const { return m_options.json; }
    qint64 keep() const { return m_options.keep; }
    // The key readKey took.
    const QString& key() const { return m_key; }

    // Takes the key from the key file, else standard input when it is not a terminal, else
    // the environment; false, after saying why, when none gives one or it cannot be a key
    // (too long, empty, not text). Asked before anything is written.
    bool readKey();
    // Quits Codex first when asked, shows the progress on a terminal, then the result.
    int workflow(const std::function<WorkflowResult()>& work);
    // The result on standard output, or a refusal or failure on standard error; its status.
    int show(const WorkflowResult& result);

private:
    bool takeKeyFrom(const QByteArray& bytes, const std::function<QString(const QString& reason)>& refusal);
    void showProgress(const QString& text, qint64 done, qint64 total);

    Workflows& m_engine;
    CommandLineIo& m_io;
    Options m_options;
    QString m_key;
    bool m_showingProgress = false;
};

// The workflow's message in this program's words: the running Codex named before it, and
// the command that puts a restore point back after it.
QString resultText(const WorkflowResult& result);
// "不接受写在命令行参数里的 TEVRUN API…": a key given as an argument is never used.
extern const QString keyArgumentRefusal;
