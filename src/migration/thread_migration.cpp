#include "migration/thread_migration.h"

#include "config/active_provider.h"
#include "config/config_text.h"
#include "core/constants.h"
#include "core/files/file_errors.h"
#include "core/files/file_io.h"
#include "core/files/file_tree.h"
#include "migration/rollout_staging.h"
#include "migration/thread_history.h"
#include "migration/thread_index_folders.h"
#include "storage/backups.h"
#include "storage/rollout_backup.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include <algorithm>
#include <memory>

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

// Closes the connection however the function is left.
struct Connection {
    sqlite3* db = nullptr;
    ~Connection() { sqlite3_close_v2(db); }

    // Codex holds the lock only briefly: wait for it a little before giving up.
    bool open(const QString& path, int flags)
    {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr) != SQLITE_OK)
            return false;
        sqlite3_busy_timeout(db, 3000);
        return true;
    }

    // The folder's thread index, or the error when it cannot be read; no connection when
    // there is no thread index.
    Expected<> openThreadIndex(const QString& folder, int flags)
    {
        const QString databasePath = folder + QLatin1Char('/') + codexfile::threadIndex;
        if (!files::itemExists(databasePath))
            return {};
        if (!open(databasePath, flags))
            return std::unexpected(sqliteError(db, QStringLiteral("无法打开对话索引“state_5.sqlite”。")));
        const Expected<bool> hasTable = databaseHasThreadsTable(db);
        if (hasTable && *hasTable)
            return {};
        sqlite3_close_v2(db);
        db = nullptr;
        if (!hasTable)
            return std::unexpected(hasTable.error());
        return {}; // no thread index in this database
    }
};

Expected<> readThreads(sqlite3* db, const QString& target, ThreadRecords* threads)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, selectionSQL, -1, &statement, nullptr) != SQLITE_OK) {
        const Error error = sqliteError(db, selectionFallback);
        sqlite3_finalize(statement);
        return std::unexpected(error);
    }
    const QByteArray targetBytes = target.toUtf8();
    sqlite3_bind_text(statement, 1, targetBytes.constData(), int(targetBytes.size()), SQLITE_TRANSIENT);
    // A step that ends in an error ends the list: the rows read so far are used.
    while (sqlite3_step(statement) == SQLITE_ROW) {
        threads->push_back({stringFromSQLiteColumn(statement, 0).value_or(QString()),
                            stringFromSQLiteColumn(statement, 1).value_or(QString()),
                            sqlite3_column_type(statement, 2) != SQLITE_NULL && sqlite3_column_int(statement, 2) != 0,
                            sqlite3_column_int(statement, 3) != 0});
    }
    sqlite3_finalize(statement);
    return {};
}

Expected<> updateThreads(sqlite3* db, const QString& target)
{
    // Take the write lock up front; a busy database is reported before anything changes.
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return std::unexpected(sqliteError(db, updateFallback));
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, updateSQL, -1, &statement, nullptr) != SQLITE_OK) {
        const Error error = sqliteError(db, updateFallback);
        sqlite3_finalize(statement);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return std::unexpected(error);
    }
    const QByteArray targetBytes = target.toUtf8();
    sqlite3_bind_text(statement, 1, targetBytes.constData(), int(targetBytes.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(statement, 2, targetBytes.constData(), int(targetBytes.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(statement) != SQLITE_DONE) {
        const Error error = sqliteError(db, updateFallback);
        sqlite3_finalize(statement);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return std::unexpected(error);
    }
    sqlite3_finalize(statement);
    // Closing the connection abandons a transaction that did not commit.
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        return std::unexpected(sqliteError(db, QStringLiteral("提交对话 provider 更新失败。")));
    return {};
}

} // namespace

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

// Runs a query of the folder's thread index read-only and hands each row over; true, with
// no rows, when there is no thread index.
Expected<> forEachIndexRow(const QString& folder, const char* sql, const std::function<void(sqlite3_stmt*)>& row)
{
    Connection connection;
    if (Expected<> opened = connection.openThreadIndex(folder, SQLITE_OPEN_READONLY); !opened)
        return opened;
    if (!connection.db)
        return {};
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(connection.db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        const Error error = sqliteError(connection.db, selectionFallback);
        sqlite3_finalize(statement);
        return std::unexpected(error);
    }
    while (sqlite3_step(statement) == SQLITE_ROW)
        row(statement);
    sqlite3_finalize(statement);
    return {};
}

// The folder of the thread index Codex uses now; none when there is none.
QString activeIndexFolder(const CodexHome& home)
{
    return threadIndexFolders(home).value(0);
}

} // namespace

Expected<std::map<QString, qint64>> visibleThreadCounts(const CodexHome& home)
{
    return visibleThreadCountsIn(activeIndexFolder(home));
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

QString targetProviderForAccountProfile(const CodexHome& home)
{
    return providerOfConfig(home.profilePath(QStringLiteral("account")) + QLatin1Char('/') + codexfile::config);
}

namespace {

// The thread index of each of Codex's database folders, open, and their visible threads
// together: a thread that several indexes hold is one conversation, and its row moves in
// each of them.
struct OpenIndexes {
    std::vector<std::unique_ptr<Connection>> connections;
    QStringList folders;
};

Expected<> openAndReadThreads(const CodexHome& home, const QString& targetProvider, int flags, OpenIndexes& indexes,
                              ThreadRecords& threads)
{
    QHash<QString, size_t> byId;
    for (const QString& folder : threadIndexFolders(home)) {
        auto connection = std::make_unique<Connection>();
        if (Expected<> opened = connection->openThreadIndex(folder, flags); !opened)
            return opened;
        if (!connection->db)
            continue;
        ThreadRecords read;
        if (Expected<> listed = readThreads(connection->db, targetProvider, &read); !listed)
            return listed;
        for (ThreadRecord& thread : read) {
            const auto known = byId.constFind(thread.id);
            if (known != byId.cend() && !thread.id.isEmpty()) {
                threads[*known].moves = threads[*known].moves || thread.moves;
                threads[*known].archived = threads[*known].archived && thread.archived;
                continue;
            }
            byId.insert(thread.id, threads.size());
            threads.push_back(std::move(thread));
        }
        indexes.connections.push_back(std::move(connection));
        indexes.folders << folder;
    }
    return {};
}

} // namespace

Expected<ThreadRecords> threadsToMove(const CodexHome& home, const QString& targetProvider)
{
    OpenIndexes indexes;
    ThreadRecords threads;
    if (Expected<> read = openAndReadThreads(home, targetProvider, SQLITE_OPEN_READONLY, indexes, threads); !read)
        return std::unexpected(read.error());
    return threads;
}

Expected<MovedConversations> migrateThreadsToProvider(
    const CodexHome& home, const QString& targetProvider, BackupKind backupKind, const QString& restorePoint,
    const MigrationProgress& progress, const std::function<Expected<>(const ThreadRecords&)>& mayCommit)
{
    if (targetProvider.isEmpty())
        return MovedConversations();
    OpenIndexes indexes;
    ThreadRecords threads;
    if (Expected<> read = openAndReadThreads(home, targetProvider, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, indexes,
                                             threads);
        !read)
        return std::unexpected(read.error());
    if (threads.empty())
        return MovedConversations();

    QStringList otherFolders = indexes.folders; // the Codex home's files are the backup's own
    otherFolders.removeAll(QDir::cleanPath(home.codexHomePath()));
    const Expected<QString> backupDirectory = createProviderBackup(home, backupKind, otherFolders);
    if (!backupDirectory)
        return std::unexpected(backupDirectory.error());
    // Staged texts not committed are removed when the batch goes; it outlives the backup,
    // whose end seals the objects once the live files are replaced.
    files::StagedReplacements batch;
    RolloutBackup rollouts(home, *backupDirectory + QStringLiteral("/rollout_files"));
    MovedConversations moved;
    std::vector<ThreadShifts> shifts;
    // Everything staged, then the first index changed; when anything before that change
    // fails, or nothing moves, the backup goes and nothing has changed.
    const auto changeFirstIndex = [&]() -> Expected<> {
        if (Expected<> staged = backUpAndStageRollouts(threads, targetProvider, rollouts, batch, moved, shifts, progress);
            !staged)
            return staged;
        const qint64 moving = moved.listed + moved.archived;
        if (moving == 0)
            return {};
        if (Expected<> written = writeProviderBackupInfo(*backupDirectory, backupKind, restorePoint, moving,
                                                         rollouts.manifest(), otherFolders);
            !written)
            return written;
        if (mayCommit) {
            if (Expected<> may = mayCommit(threads); !may)
                return may;
        }
        return updateThreads(indexes.connections.front()->db, targetProvider);
    };
    const Expected<> firstChanged = changeFirstIndex();
    if (!firstChanged || moved.listed + moved.archived == 0) {
        rollouts.discard();
        files::removeItem(*backupDirectory);
        if (!firstChanged)
            return std::unexpected(firstChanged.error());
        return MovedConversations();
    }
    // From here on a failure leaves the backup to be put back: the first index has changed.
    Expected<> done;
    for (size_t i = 1; done && i < indexes.connections.size(); ++i)
        done = updateThreads(indexes.connections[i]->db, targetProvider);
    indexes.connections.clear();
    for (qsizetype i = 0; done && i < indexes.folders.size(); ++i)
        done = shiftHistoryOffsets(indexes.folders[i], shifts);
    if (done)
        done = batch.commit();
    if (!done) {
        // The files not replaced are still the backup's: putting it back leaves them alone.
        rollouts.leaveForPutBack();
        return std::unexpected(done.error());
    }
    if (progress)
        progress(qint64(threads.size()), qint64(threads.size()));
    return moved;
}
