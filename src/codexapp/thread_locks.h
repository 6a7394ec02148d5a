#pragma once

#include "core/codex_home.h"
#include "core/error.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <expected>
#include <vector>

// Codex's own locks on its conversations. Every Codex process (the app's server, a terminal,
// an editor's copy, `codex exec`) holds flock on thread-writer-locks/<thread id>.lock while it
// has that thread open, taking and dropping one only under thread-writer-locks/.coordination.lock,
// and rewrites rollout files itself only under .tmp/rollout-maintenance.lock. Holding the
// same locks keeps every Codex off the conversations being moved, whatever it is called: one
// that opens such a thread meanwhile is told by Codex itself that it already has a writer.
class CodexThreadLocks {
public:
    explicit CodexThreadLocks(const CodexHome& home);
    CodexThreadLocks(const CodexThreadLocks&) = delete;
    CodexThreadLocks& operator=(const CodexThreadLocks&) = delete;
    ~CodexThreadLocks(); // lets go as Codex does

    // Takes the lock of each thread not held yet, then the maintenance lock. ErrorConversationsOpen
    // when another process holds one of them (the message says how many conversations it has
    // open) or keeps the coordination lock for longer than a few seconds; the file's error
    // when a lock file cannot be made. Whatever was taken is kept until the object goes.
    Expected<> claim(const QStringList& threadIds);

private:
    // The lock files this writer may leave, named before they are made so that a writer
    // killed meanwhile leaves no empty lock file for good: see removeLeftThreadLocks.
    Expected<> listClaimed(const QStringList& fresh) const;

    struct Held {
        QString id; // shared with m_claimed's
        int fd;
    };
    Expected<> holdMaintenanceLock();

    QString m_folder;
    QString m_maintenancePath;
    QString m_listPath;
    std::vector<Held> m_threads;
    QSet<QString> m_claimed;
    // Kept for the whole move when there are too many threads to hold a descriptor each:
    // then no Codex can open a thread until it ends.
    int m_coordinationFd = -1;
    int m_maintenanceFd = -1;
};

// Whether a writer killed while it held the locks of threads left their lock files; and
// removing those that no process holds now, under the coordination lock as Codex does. Asked
// only by the holder of the home's lock.
bool hasLeftThreadLocks(const CodexHome& home);
void removeLeftThreadLocks(const CodexHome& home);

// The threads some process holds open now, read from their lock files without changing
// anything; the error when Codex keeps the coordination lock too long.
Expected<QStringList> openThreadIds(const CodexHome& home);

// "已检测到 Codex 正开着 N 条对话，请先退出 Codex 再试。"
QString conversationsOpenMessage(qint64 count);
