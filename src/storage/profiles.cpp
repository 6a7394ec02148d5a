#include "storage/profiles.h"

#include "core/files/file_errors.h"
#include "core/files/file_io.h"
#include "core/files/file_tree.h"
#include "core/json_file.h"
#include "core/naming.h"

#include <sys/stat.h>

namespace {

const QString descriptorName = QStringLiteral("profile.json");

} // namespace

QStringList accountProfileFiles(const CodexHome& home)
{
    return QStringList{codexfile::auth, codexfile::config} + profileConfigNames(home.codexHomePath());
}

Expected<> saveProfileNamed(const CodexHome& home, const QString& name, const QStringList& fileNames,
                            const std::optional<QString>& loginStore)
{
    const QString directory = home.profilePath(name);
    if (Expected<> made = files::makeDirectory(directory); !made)
        return made;

    Json saved = Json::array();
    Json modes = Json::object();
    bool savedAuth = false;
    for (const QString& fileName : fileNames) {
        const QString source = home.file(fileName);
        if (!files::itemExists(source))
            continue;
        // The copy is private; profile.json records the mode the file had.
        if (Expected<> copied = files::replaceWithCopy(source, directory + QLatin1Char('/') + fileName, files::Access::OwnerOnly);
            !copied)
            return copied;
        saved.push_back(toUtf8(fileName));
        if (struct stat info {}; ::stat(files::nativePath(source).constData(), &info) == 0)
            modes[toUtf8(fileName)] = info.st_mode & 07777;
        savedAuth = savedAuth || fileName == codexfile::auth;
    }

    if (!savedAuth && !loginStore)
        return std::unexpected(Error{morvaneErrorDomain, 0, QStringLiteral("当前没有 Codex 登录信息，无法记录账号状态。")});
    Json descriptor = {{"profile", toUtf8(name)}, {"saved_at", toUtf8(timestamp())}, {"files", saved}, {"modes", modes}};
    if (loginStore)
        descriptor["login_store"] = toUtf8(*loginStore);
    // A copy an earlier save made would stand for a login the home no longer has.
    if (!savedAuth) {
        if (Expected<> stale = files::removeFile(directory + QLatin1Char('/') + codexfile::auth); !stale)
            return stale;
    }
    return writeJsonAtomically(directory + QLatin1Char('/') + descriptorName, descriptor);
}

Expected<> restoreProfileNamed(const CodexHome& home, const QString& name, const QStringList& except)
{
    if (!profileExists(home, name))
        return std::unexpected(Error{morvaneErrorDomain, 0, QStringLiteral("还没有可切回的 GPT 账号 登陆记录。")});
    if (Expected<> made = files::makeDirectory(home.codexHomePath()); !made)
        return made;

    const QString directory = home.profilePath(name);
    for (const QString& entry : files::visibleEntries(directory)) {
        if (entry == descriptorName || except.contains(entry))
            continue;
        if (Expected<> copied = files::replaceWithCopy(directory + QLatin1Char('/') + entry, home.file(entry)); !copied)
            return copied;
    }
    const QString auth = home.file(codexfile::auth);
    if (!files::itemExists(directory + QLatin1Char('/') + codexfile::auth))
        return files::removeFile(auth); // the login is the store's: auth.json held the key
    if (files::itemExists(auth))
        files::restrictToOwner(auth);
    return {};
}

namespace {

std::optional<QString> recordedLoginStore(const QString& directory)
{
    const std::optional<Json> descriptor = readJsonObject(directory + QLatin1Char('/') + descriptorName);
    if (!descriptor || !descriptor->contains("login_store") || !(*descriptor)["login_store"].is_string())
        return std::nullopt;
    return fromUtf8((*descriptor)["login_store"].get<std::string>());
}

} // namespace

bool profileExists(const CodexHome& home, const QString& name)
{
    const QString directory = home.profilePath(name);
    return files::itemExists(directory + QLatin1Char('/') + codexfile::auth) || recordedLoginStore(directory);
}
