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

void setMessageError(Error* error, const QString& message, const QString& fallback)
{
    setMorvaneError(error, message.isEmpty() ? fallback : message);
}

// False when the table is missing, and also when SQLite cannot read the database: then the
// error says why.
bool databaseHasThreadsTable(sqlite3* db, Error* error)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, tableCheckSQL, -1, &statement, nullptr) != SQLITE_OK) {
        assignSQLiteError(error, db, selectionFallback);
        sqlite3_finalize(statement);
        return false;
    }
    const int result = sqlite3_step(statement);
    if (result != SQLITE_ROW && result != SQLITE_DONE)
        assignSQLiteError(error, db, selectionFallback);
    sqlite3_finalize(statement);
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

    // The folder's thread index. False with the error when it cannot be read; true with no
    // connection when there is no thread index.
    bool openThreadIndex(const QString& folder, int flags, Error* error)
    {
        const QString databasePath = folder + QLatin1Char('/') + codexfile::threadIndex;
        if (!files::itemExists(databasePath))
            return true;
        if (!open(databasePath, flags)) {
            setMorvaneError(error, db ? sqliteMessage(db) : QStringLiteral("无法打开对话索引“state_5.sqlite”。"));
            return false;
        }
        Error tableError;
        if (databaseHasThreadsTable(db, &tableError))
            return true;
        sqlite3_close_v2(db);
        db = nullptr;
        if (tableError.message.isEmpty())
            return true; // no thread index in this database
        setError(error, tableError.domain, tableError.code, tableError.message);
        return false;
    }
};

bool readThreads(sqlite3* db, const QString& target, ThreadRecords* threads, Error* error)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, selectionSQL, -1, &statement, nullptr) != SQLITE_OK) {
        assignSQLiteError(error, db, selectionFallback);
        sqlite3_finalize(statement);
        return false;
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
    return true;
}

bool updateThreads(sqlite3* db, const QString& target, Error* error)
{
    // Take the write lock up front; a busy database is reported before anything changes.
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        setMessageError(error, sqliteMessage(db), updateFallback);
        return false;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, updateSQL, -1, &statement, nullptr) != SQLITE_OK) {
        const QString message = sqliteMessage(db);
        sqlite3_finalize(statement);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        setMessageError(error, message, updateFallback);
        return false;
    }
    const QByteArray targetBytes = target.toUtf8();
    sqlite3_bind_text(statement, 1, targetBytes.constData(), int(targetBytes.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(statement, 2, targetBytes.constData(), int(targetBytes.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(statement) != SQLITE_DONE) {
        const QString message = sqliteMessage(db);
        sqlite3_finalize(statement);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        setMessageError(error, message, updateFallback);
        return false;
    }
    sqlite3_finalize(statement);
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        // Closing the connection abandons the open transaction.
        setMessageError(error, sqliteMessage(db), QStringLiteral("提交对话 provider 更新失败。"));
        return false;
    }
    return true;
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

void assignSQLiteError(Error* error, sqlite3* db, const QString& fallback, const QString& file)
{
    if (!error)
        return;
    const QString message = sqliteMessage(db, file);
    if (!message.isEmpty())
        *error = Error{morvaneErrorDomain, 0, message};
    else
        *error = Error{morvaneErrorDomain, 0, fallback.isEmpty() ? QStringLiteral("SQLite 操作失败。") : fallback};
}

namespace {

// Runs a query of the folder's thread index read-only and hands each row over; true, with
// no rows, when there is no thread index.
bool forEachIndexRow(const QString& folder, const char* sql, Error* error, const std::function<void(sqlite3_stmt*)>& row)
{
    Connection connection;
    if (!connection.openThreadIndex(folder, SQLITE_OPEN_READONLY, error))
        return false;
    if (!connection.db)
        return true;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(connection.db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        assignSQLiteError(error, connection.db, selectionFallback);
        sqlite3_finalize(statement);
        return false;
    }
    while (sqlite3_step(statement) == SQLITE_ROW)
        row(statement);
    sqlite3_finalize(statement);
    return true;
}

// The folder of the thread index Codex uses now; none when there is none.
QString activeIndexFolder(const CodexHome& home)
{
    return threadIndexFolders(home).value(0);
}

} // namespace

std::optional<std::map<QString, qint64>> visibleThreadCounts(const CodexHome& home, Error* error)
{
    return visibleThreadCountsIn(activeIndexFolder(home), error);
}

std::optional<std::map<QString, qint64>> visibleThreadCountsIn(const QString& folder, Error* error)
{
    std::map<QString, qint64> counts;
    const bool read = folder.isEmpty() || forEachIndexRow(folder, countSQL, error, [&counts](sqlite3_stmt* statement) {
        counts[stringFromSQLiteColumn(statement, 0).value_or(QString())] += sqlite3_column_int64(statement, 1);
    });
    return read ? std::optional(counts) : std::nullopt;
}

std::optional<std::vector<IndexedThread>> indexedThreads(const QString& folder, Error* error)
{
    std::vector<IndexedThread> threads;
    const bool read = forEachIndexRow(folder, indexedSQL, error, [&threads](sqlite3_stmt* statement) {
        threads.push_back({stringFromSQLiteColumn(statement, 0).value_or(QString()),
                           stringFromSQLiteColumn(statement, 1).value_or(QString()),
                           stringFromSQLiteColumn(statement, 2).value_or(QString()),
                           stringFromSQLiteColumn(statement, 3).value_or(QString())});
    });
    return read ? std::optional(threads) : std::nullopt;
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

bool openAndReadThreads(const CodexHome& home, const QString& targetProvider, int flags, OpenIndexes& indexes,
                        ThreadRecords& threads, Error* error)
{
    QHash<QString, size_t> byId;
    for (const QString& folder : threadIndexFolders(home)) {
        auto connection = std::make_unique<Connection>();
        ThreadRecords read;
        if (!connection->openThreadIndex(folder, flags, error)
            || (connection->db && !readThreads(connection->db, targetProvider, &read, error)))
            return false;
        if (!connection->db)
            continue;
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
    return true;
}

} // namespace

std::optional<ThreadRecords> threadsToMove(const CodexHome& home, const QString& targetProvider, Error* error)
{
    OpenIndexes indexes;
    ThreadRecords threads;
    if (!openAndReadThreads(home, targetProvider, SQLITE_OPEN_READONLY, indexes, threads, error))
        return std::nullopt;
    return threads;
}

std::optional<MovedConversations> migrateThreadsToProvider(
    const CodexHome& home, const QString& targetProvider, BackupKind backupKind, const QString& restorePoint,
    Error* error, const MigrationProgress& progress, const std::function<bool(const ThreadRecords&, Error*)>& mayCommit)
{
    if (targetProvider.isEmpty())
        return MovedConversations();
    OpenIndexes indexes;
    ThreadRecords threads;
    if (!openAndReadThreads(home, targetProvider, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, indexes, threads, error))
        return std::nullopt;
    if (threads.empty())
        return MovedConversations();

    QStringList otherFolders = indexes.folders; // the Codex home's files are the backup's own
    otherFolders.removeAll(QDir::cleanPath(home.codexHomePath()));
    const std::optional<QString> backupDirectory = createProviderBackup(home, backupKind, otherFolders, error);
    if (!backupDirectory)
        return std::nullopt;
    // Staged texts not committed are removed when the batch goes; it outlives the backup,
    // whose end seals the objects once the live files are replaced.
    files::StagedReplacements batch;
    RolloutBackup rollouts(home, *backupDirectory + QStringLiteral("/rollout_files"));
    MovedConversations moved;
    std::vector<ThreadShifts> shifts;
    const bool staged = backUpAndStageRollouts(threads, targetProvider, rollouts, batch, moved, shifts, error, progress);
    const qint64 moving = moved.listed + moved.archived;
    if (!staged || moving == 0
        || !writeProviderBackupInfo(*backupDirectory, backupKind, restorePoint, moving, rollouts.manifest(), otherFolders,
                                    error)
        || (mayCommit && !mayCommit(threads, error)) || !updateThreads(indexes.connections.front()->db, targetProvider, error)) {
        rollouts.discard();
        files::removeItem(*backupDirectory);
        return staged && moving == 0 ? std::optional(MovedConversations()) : std::nullopt;
    }
    // From here on a failure leaves the backup to be put back: the first index has changed.
    bool done = true;
    for (size_t i = 1; done && i < indexes.connections.size(); ++i)
        done = updateThreads(indexes.connections[i]->db, targetProvider, error);
    indexes.connections.clear();
    for (qsizetype i = 0; done && i < indexes.folders.size(); ++i)
        done = shiftHistoryOffsets(indexes.folders[i], shifts, error);
    if (!done || !batch.commit(error)) {
        // The files not replaced are still the backup's: putting it back leaves them alone.
        rollouts.leaveForPutBack();
        return std::nullopt;
    }
    if (progress)
        progress(qint64(threads.size()), qint64(threads.size()));
    return moved;
}
