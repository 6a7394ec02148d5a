#include "workflows/health_check.h"

#include "codexapp/codex_control.h"
#include "codexapp/thread_locks.h"
#include "config/active_provider.h"
#include "config/config_document.h"
#include "config/config_text.h"
#include "core/api_key.h"
#include "core/current_key.h"
#include "core/constants.h"
#include "core/files/file_errors.h"
#include "core/files/file_io.h"
#include "core/files/staging.h"
#include "core/json.h"
#include "credentials/codex_login.h"
#include "credentials/mode_detection.h"
#include "migration/rollout_compression.h"
#include "migration/rollout_rewrite.h"
#include "migration/thread_index_folders.h"
#include "migration/thread_index.h"
#include "migration/unusable_conversation.h"
#include "storage/backup_check.h"
#include "storage/journal.h"
#include "storage/restore_point_layout.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <unistd.h>

namespace {

const QFileDevice::Permissions othersMayAccess = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
    | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;

// A relay key with the account's provider, or the account's login with the relay's; a
// relay provider that Codex sends no key to.
void checkModes(const CodexHome& home, const QString& provider, std::vector<HealthProblem>& problems)
{
    if (provider == morvane::providerTevrun) {
        if (ConfigDocument::read(home.file(codexfile::config)).value(tevrunTable, QStringLiteral("requires_openai_auth"))
            != QStringLiteral("true")) {
            problems.push_back({.code = QStringLiteral("key-not-sent"), .fix = HealthFix::RepairApi});
        }
    }
    const Expected<QByteArray> auth = files::readWhole(home.file(codexfile::auth));
    if (!auth)
        return;
    const std::optional<Json> login = parseJson(*auth);
    const bool hasKey = isLikelyApiKey(readActiveApiKey(home));
    const bool hasTokens = login && login->is_object() && login->contains("tokens");
    if (hasKey && provider != morvane::providerTevrun) {
        problems.push_back({.code = QStringLiteral("mode-mismatch"), .fix = HealthFix::RepairApi, .provider = provider});
    } else if (!hasKey && hasTokens && provider == morvane::providerTevrun) {
        problems.push_back({.code = QStringLiteral("mode-mismatch"), .fix = HealthFix::RepairAccount, .provider = provider});
    }
}

// Where the login is kept, when Codex's store cannot say; Codex's profile files that would
// take it to the other mode's provider, and the top-level profile Codex no longer takes.
void checkLoginAndProfiles(const CodexHome& home, const QString& provider, std::vector<HealthProblem>& problems)
{
    if (const Expected<CodexLogin> login = findCodexLogin(home); !login)
        problems.push_back({.code = QStringLiteral("login-store-unavailable"), .reason = login.error().message});
    const ConfigDocument config = ConfigDocument::read(home.file(codexfile::config));
    if (const std::optional<QString> legacy = config.topLevelValue(QStringLiteral("profile")))
        problems.push_back({.code = QStringLiteral("legacy-profile"), .name = *legacy});
    const bool onRelay = provider == morvane::providerTevrun;
    const QString otherMode = onRelay ? morvane::providerOpenAI : morvane::providerTevrun;
    for (const QString& name : profileConfigNames(home.codexHomePath())) {
        if (ConfigDocument::read(home.file(name)).provider() == otherMode) {
            problems.push_back({.code = QStringLiteral("profile-provider-mismatch"),
                                .fix = onRelay ? HealthFix::RepairApi : HealthFix::RepairAccount,
                                .provider = provider,
                                .otherProvider = otherMode,
                                .name = name});
        }
    }
}

// What a conversation's file says of it on the provider: whether it records another
// provider, where Codex looks when it rebuilds its index from the files, and whether it
// cannot go on there for sealed items another caller was handed.
struct RolloutFindings {
    bool otherProvider = false;
    bool othersSealedItems = false;
};

RolloutFindings checkRollout(const QString& rolloutPath, const QString& provider)
{
    QByteArray head;
    Expected<QByteArray> content = files::readWhole(rolloutPath);
    if (content && isCompressedRollout(rolloutPath))
        content = decompressedRollout(rolloutPath, *content);
    if (!content)
        return {};
    return {rewriteRollout(*content, provider, SealedItems::GoWithProvider, head).has_value(),
            holdsOthersSealedItems(*content, provider)};
}

void checkIndexedConversations(const QString& folder, const QString& provider, std::vector<HealthProblem>& problems)
{
    const Expected<std::vector<IndexedThread>> threads = indexedThreads(folder);
    if (!threads) {
        problems.push_back({.code = QStringLiteral("thread-index-unreadable"), .reason = threads.error().message});
        return;
    }
    std::map<QString, qint64> counts;
    for (const IndexedThread& thread : *threads)
        ++counts[thread.provider];
    for (const auto& [other, count] : counts) {
        if (other != provider) {
            problems.push_back({.code = QStringLiteral("conversations-elsewhere"),
                                .fix = HealthFix::MoveConversations,
                                .count = count,
                                .provider = provider,
                                .otherProvider = other});
        }
    }
    qint64 missing = 0;
    qint64 mismatched = 0;
    qint64 refused = 0;
    for (const IndexedThread& thread : *threads) {
        if (thread.rolloutPath.isEmpty())
            continue;
        if (!QFile::exists(thread.rolloutPath)) {
            ++missing;
        } else if (thread.provider == provider) {
            const RolloutFindings findings = checkRollout(thread.rolloutPath, provider);
            mismatched += findings.otherProvider; // listed now, gone from the list once Codex rebuilds its row
            refused += findings.othersSealedItems;
        }
    }
    if (missing > 0) {
        problems.push_back({.code = QStringLiteral("rollout-missing"), .fix = HealthFix::ListBackups, .count = missing});
    }
    if (mismatched > 0) {
        problems.push_back(
            {.code = QStringLiteral("rollout-provider-mismatch"), .fix = HealthFix::MoveConversations, .count = mismatched});
    }
    if (refused > 0) {
        problems.push_back({.code = QStringLiteral("sealed-content-refused"),
                            .fix = HealthFix::MoveConversations,
                            .count = refused,
                            .provider = provider});
    }
}

// The conversations of one thread index; the problems of an index outside the Codex home
// say which one.
void checkConversations(const CodexHome& home, const QString& folder, const QString& provider,
                        std::vector<HealthProblem>& problems)
{
    const size_t first = problems.size();
    checkIndexedConversations(folder, provider, problems);
    if (folder == QDir::cleanPath(home.codexHomePath()))
        return;
    for (size_t i = first; i < problems.size(); ++i)
        problems[i].threadIndex = folder;
}

void checkCutOffWork(const CodexHome& home, std::vector<HealthProblem>& problems)
{
    if (hasJournal(home)) {
        problems.push_back({.code = QStringLiteral("interrupted-workflow"), .fix = HealthFix::PutBackCutOff});
    }
    qint64 staged = 0;
    for (const QString& folder : {home.codexHomePath(), home.morvaneRootPath(), home.historyRootPath()})
        staged += files::countStagingFiles(folder);
    if (staged > 0) {
        problems.push_back({.code = QStringLiteral("staging-files"), .fix = HealthFix::PutBackCutOff, .count = staged});
    }
    for (const RestorePoint& point : listRestorePoints(home)) {
        const QStringList damaged = damagedFiles(point);
        if (!damaged.isEmpty()) {
            problems.push_back({.code = QStringLiteral("backup-damaged"), .name = point.id, .names = damaged});
        }
    }
}

void checkPrivacy(const CodexHome& home, std::vector<HealthProblem>& problems)
{
    const QString auth = home.file(codexfile::auth);
    if (QFileInfo(auth).isFile() && (QFile::permissions(auth) & othersMayAccess)) {
        problems.push_back({.code = QStringLiteral("auth-not-private"), .fix = HealthFix::MakeFilePrivate, .path = auth});
    }
    // Whatever holds a key: the last key, the saved keys and the profiles' logins.
    QStringList keyFiles = {home.file(codexfile::lastKey), home.historyRootPath()};
    for (const QString& root : {home.historyRootPath(), home.morvaneRootPath() + QStringLiteral("/profiles")}) {
        QDirIterator it(root, {QStringLiteral("*.json")}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (root == home.historyRootPath() || it.fileName().startsWith(QLatin1String("auth")))
                keyFiles << path;
        }
    }
    for (const QString& path : keyFiles) {
        const QFileInfo info(path);
        if (!info.exists() || info.isSymLink() || !(QFile::permissions(path) & othersMayAccess))
            continue;
        problems.push_back({.code = QStringLiteral("key-file-readable"),
                            .fix = info.isDir() ? HealthFix::MakeFolderPrivate : HealthFix::MakeFilePrivate,
                            .path = path,
                            .name = QDir(home.codexHomePath()).relativeFilePath(path)});
    }
}

} // namespace

std::optional<QString> unreadableHome(const CodexHome& home)
{
    const QString path = home.codexHomePath();
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return std::nullopt;
    if (!info.isDir())
        return files::fileErrorWithReason(QStringLiteral("读取"), path, QStringLiteral("它不是目录")).message;
    if (::access(files::nativePath(path).constData(), R_OK | X_OK) != 0)
        return files::systemError(QStringLiteral("读取"), path, errno).message;
    return std::nullopt;
}

std::vector<HealthProblem> checkHealth(const CodexHome& home, Workspace& workspace)
{
    std::vector<HealthProblem> problems;
    if (const std::optional<QString> unreadable = unreadableHome(home)) {
        problems.push_back({.code = QStringLiteral("home-unreadable"), .reason = *unreadable});
        return problems;
    }
    const QString provider = activeProvider(home);
    checkModes(home, provider, problems);
    checkLoginAndProfiles(home, provider, problems);
    for (const QString& folder : threadIndexFolders(home))
        checkConversations(home, folder, provider, problems);
    checkCutOffWork(home, problems);
    checkPrivacy(home, problems);
    if (const std::vector<CodexProcess> running = runningCodex(workspace); !running.empty()) {
        problems.push_back({.code = QStringLiteral("codex-running")});
    }
    // Whatever the process is called: Codex's own locks say which conversations it has open.
    if (const auto open = openConversations(home); open && !open->empty()) {
        problems.push_back({.code = QStringLiteral("conversations-open"), .open = *open});
    }
    return problems;
}

Expected<std::vector<OpenConversation>> openConversations(const CodexHome& home)
{
    const Expected<QStringList> ids = openThreadIds(home);
    if (!ids)
        return std::unexpected(ids.error());
    QHash<QString, QString> titles;
    for (const QString& folder : ids->isEmpty() ? QStringList() : threadIndexFolders(home)) {
        for (const IndexedThread& thread : indexedThreads(folder).value_or(std::vector<IndexedThread>()))
            titles.insert(thread.id, thread.title);
    }
    std::vector<OpenConversation> open;
    for (const QString& id : *ids)
        open.push_back({id, titles.value(id)});
    return open;
}

std::optional<qint64> conversationsElsewhere(const CodexHome& home)
{
    const Expected<std::map<QString, qint64>> counts = visibleThreadCounts(home);
    if (!counts)
        return std::nullopt;
    const QString provider = activeProvider(home);
    qint64 elsewhere = 0;
    for (const auto& [other, count] : *counts)
        elsewhere += other == provider ? 0 : count;
    return elsewhere;
}
