#include "migration/thread_index.h"

#include "core/files/file_io.h"
#include "migration/thread_index_folders.h"

#include <QFile>

#include <functional>

#include <sqlite3.h>

namespace {

const char* const tableCheckSQL = "SELECT 1 FROM sqlite_master WHERE type='table' AND name='threads' LIMIT 1";
// Every thread, and whether the update below moves it (NULL compares as neither).
const char* const selectionSQL = "SELECT id, rollout_path, model_provider <> ?, archived <> 0 FROM threads "
                                 "ORDER BY updated_at DESC";
const char* const indexedSQL = "SELECT id, rollout_path, model_provider, title FROM threads WHERE archived = 0";
const char* const countSQL = "SELECT model_provider, COUNT(*) FROM threads WHERE archived = 0 GROUP BY model_provider";
const char* const updateSQL = "UPDATE threads SET model_provider = ? WHERE model_provider <> ?";

const QString selectionFallback = QStringLiteral("读取对话索引失败。");
const QString updateFallback = QStringLiteral("更新对话 provider 失败。");

// SQLite's failure in the user's words, by its code, naming the thread index; SQLite's own
// English text only as the detail of a failure without words of its own.
QString sqliteMessage(sqlite3* db, const QString& file = codexfile::threadIndex)
{
    if (!db)
        return QString();
    switch (sqlite3_errcode(db) & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return QString();
    case SQLITE_NOTADB:
        return QStringLiteral("对话索引“%1”不是数据库文件。").arg(file);
    case SQLITE_CORRUPT:
        return QStringLiteral("对话索引“%1”已损坏。").arg(file);
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("对话索引“%1”正被其他程序占用，请稍后再试。").arg(file);
    case SQLITE_FULL:
        return QStringLiteral("磁盘已满，无法写入对话索引“%1”。").arg(file);
    case SQLITE_READONLY:
        return QStringLiteral("对话索引“%1”是只读的，无法写入。").arg(file);
    case SQLITE_CANTOPEN:
        return QStringLiteral("无法打开对话索引“%1”。").arg(file);
    case SQLITE_PERM:
        return QStringLiteral("没有权限读写对话索引“%1”。").arg(file);
    case SQLITE_IOERR:
        return QStringLiteral("读写对话索引“%1”时出错。").arg(file);
    default:
        break;
    }
    return QStringLiteral("对话索引“%1”出错：%2").arg(file, QString::fromUtf8(sqlite3_errmsg(db)));
}

// Whether the database has the table; an error when SQLite cannot read the database.
Expected<bool> databaseHasThreadsTable(sqlite3* db)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, tableCheckSQL, -1, &statement, nullptr) != SQLITE_OK) {
        const Error error = sqliteError(db, selectionFallback);
        sqlite3_finalize(statement);
        return std::unexpected(error);
    }
    const int result = sqlite3_step(statement);
    const Error error = sqliteError(db, selectionFallback); // before finalizing resets it
    sqlite3_finalize(statement);
    if (result != SQLITE_ROW && result != SQLITE_DONE)
        return std::unexpected(error);
    return result == SQLITE_ROW;
}

} // namespace

ThreadIndex::~ThreadIndex()
{
    sqlite3_close_v2(m_db);
}

Expected<> ThreadIndex::open(const QString& folder, bool forWriting)
{
    const QString databasePath = folder + QLatin1Char('/') + codexfile::threadIndex;
    if (!files::itemExists(databasePath))
        return {};
    const int flags = forWriting ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX : SQLITE_OPEN_READONLY;
    if (sqlite3_open_v2(QFile::encodeName(databasePath).constData(), &m_db, flags, nullptr) != SQLITE_OK)
        return std::unexpected(sqliteError(m_db, QStringLiteral("无法打开对话索引“state_5.sqlite”。")));
    // Codex holds the lock only briefly: wait for it a little before giving up.
    sqlite3_busy_timeout(m_db, 3000);
    const Expected<bool> hasTable = databaseHasThreadsTable(m_db);
    if (hasTable && *hasTable)
        return {};
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    if (!hasTable)
        return std::unexpected(hasTable.error());
    return {}; // no thread index in this database
}

Expected<> ThreadIndex::readThreads(const QString& target, ThreadRecords* threads) const
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_db, selectionSQL, -1, &statement, nullptr) != SQLITE_OK) {
        const Error error = sqliteError(m_db, selectionFallback);
        sqlite3_finalize(statement);
        return std::unexpected(error);
    }
    const QByteArray targetBytes = target.toUtf8();
    sqlite3_bind_text(statement, 1, targetBytes.constData(), int(targetBytes.size()), SQLITE_TRANSIENT);
    while (sqlite3_step(statement) == SQLITE_ROW) {
        threads->push_back({stringFromSQLiteColumn(statement, 0).value_or(QString()),
                            stringFromSQLiteColumn(statement, 1).value_or(QString()),
                            sqlite3_column_type(statement, 2) != SQLITE_NULL && sqlite3_column_int(statement, 2) != 0,
                            sqlite3_column_int(statement, 3) != 0});
    }
    sqlite3_finalize(statement);
    return {};
}

Expected<> ThreadIndex::forEachRow(const char* sql, const std::function<void(sqlite3_stmt*)>& row) const
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        const Error error = sqliteError(m_db, selectionFallback);
        sqlite3_finalize(statement);
        return std::unexpected(error);
    }
    while (sqlite3_step(statement) == SQLITE_ROW)
        row(statement);
    sqlite3_finalize(statement);
    return {};
}

Expected<> ThreadIndex::moveAllTo(const QString& target)
{
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return std::unexpected(sqliteError(m_db, updateFallback));
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_db, updateSQL, -1, &statement, nullptr) != SQLITE_OK) {
        const Error error = sqliteError(m_db, updateFallback);
        sqlite3_finalize(statement);
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return std::unexpected(error);
    }
    const QByteArray targetBytes = target.toUtf8();
    sqlite3_bind_text(statement, 1, targetBytes.constData(), int(targetBytes.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(statement, 2, targetBytes.constData(), int(targetBytes.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(statement) != SQLITE_DONE) {
        const Error error = sqliteError(m_db, updateFallback);
        sqlite3_finalize(statement);
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return std::unexpected(error);
    }
    sqlite3_finalize(statement);
    // Closing the connection abandons a transaction that did not commit.
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        return std::unexpected(sqliteError(m_db, QStringLiteral("提交对话 provider 更新失败。")));
    return {};
}

std::optional<QString> stringFromSQLiteColumn(sqlite3_stmt* statement, int index)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
    if (!text)
        return std::nullopt;
    const QByteArrayView bytes(text, sqlite3_column_bytes(statement, index));
    if (!bytes.isValidUtf8())
        return std::nullopt;
    return QString::fromUtf8(bytes);
}

Error sqliteError(sqlite3* db, const QString& fallback, const QString& file)
{
    const QString message = sqliteMessage(db, file);
    return Error{morvaneErrorDomain, 0, message.isEmpty() ? fallback : message};
}

namespace {

// Runs a query of the folder's thread index read-only and hands each row over; no rows
// when there is no thread index.
Expected<> forEachIndexRow(const QString& folder, const char* sql, const std::function<void(sqlite3_stmt*)>& row)
{
    ThreadIndex index;
    if (Expected<> opened = index.open(folder, false); !opened || !index.isOpen())
        return opened;
    return index.forEachRow(sql, row);
}

} // namespace

Expected<std::map<QString, qint64>> visibleThreadCounts(const CodexHome& home)
{
    // The folder of the thread index Codex uses now comes first.
    return visibleThreadCountsIn(threadIndexFolders(home).value(0));
}

Expected<std::map<QString, qint64>> visibleThreadCountsIn(const QString& folder)
{
    std::map<QString, qint64> counts;
    if (folder.isEmpty())
        return counts;
    const Expected<> read = forEachIndexRow(folder, countSQL, [&counts](sqlite3_stmt* statement) {
        counts[stringFromSQLiteColumn(statement, 0).value_or(QString())] += sqlite3_column_int64(statement, 1);
    });
    if (!read)
        return std::unexpected(read.error());
    return counts;
}

Expected<std::vector<IndexedThread>> indexedThreads(const QString& folder)
{
    std::vector<IndexedThread> threads;
    const Expected<> read = forEachIndexRow(folder, indexedSQL, [&threads](sqlite3_stmt* statement) {
        threads.push_back({stringFromSQLiteColumn(statement, 0).value_or(QString()),
                           stringFromSQLiteColumn(statement, 1).value_or(QString()),
                           stringFromSQLiteColumn(statement, 2).value_or(QString()),
                           stringFromSQLiteColumn(statement, 3).value_or(QString())});
    });
    if (!read)
        return std::unexpected(read.error());
    return threads;
}
