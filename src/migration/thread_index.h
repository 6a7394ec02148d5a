#pragma once

#include "core/codex_home.h"
#include "core/error.h"
#include "migration/thread_record.h"

#include <QString>

#include <functional>
#include <map>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// One folder's thread index (state_5.sqlite), the connection closed however it is left.
class ThreadIndex {
public:
    ThreadIndex() = default;
    ThreadIndex(const ThreadIndex&) = delete;
    ThreadIndex& operator=(const ThreadIndex&) = delete;
    ~ThreadIndex();

    // Opens the folder's thread index; nothing is open, and nothing is wrong, when the folder
    // holds no database or its database has no table of threads.
    Expected<> open(const QString& folder, bool forWriting);
    bool isOpen() const { return m_db != nullptr; }
    // Every thread, archived ones too, newest first, each with whether its row names another
    // provider than the target. A step that ends in an error ends the list.
    Expected<> readThreads(const QString& target, ThreadRecords* threads) const;
    // Every row to the target, in one transaction that a busy database refuses up front.
    Expected<> moveAllTo(const QString& target);
    // Runs a query that changes nothing and hands each row over.
    Expected<> forEachRow(const char* sql, const std::function<void(sqlite3_stmt*)>& row) const;

private:
    sqlite3* m_db = nullptr;
};

// Each visible thread's id, rollout path (empty when it has none), provider and title, as the
// thread index of that folder holds them; empty when there is no thread index.
struct IndexedThread {
    QString id;
    QString rolloutPath;
    QString provider;
    QString title;
};
Expected<std::vector<IndexedThread>> indexedThreads(const QString& folder);

// How many visible threads each provider has in the thread index Codex uses now, or in that
// folder's; empty when there is no thread index.
Expected<std::map<QString, qint64>> visibleThreadCounts(const CodexHome& home);
Expected<std::map<QString, qint64>> visibleThreadCountsIn(const QString& folder);

// The column as UTF-8 text; nothing for NULL or bytes that are not UTF-8.
std::optional<QString> stringFromSQLiteColumn(sqlite3_stmt* statement, int index);
// SQLite's failure about the file in the user's words, else the fallback.
Error sqliteError(sqlite3* db, const QString& fallback, const QString& file = codexfile::threadIndex);
