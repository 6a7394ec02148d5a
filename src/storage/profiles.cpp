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

Expected<> saveProfileNamed(const CodexHome& home, const QString& name, const QStringList& fileNames)
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

    if (!savedAuth)
        return std::unexpected(Error{morvaneErrorDomain, 0, QStringLiteral("当前没有 Codex 登录信息，无法记录账号状态。")});
    const Json descriptor = {{"profile", toUtf8(name)}, {"saved_at", toUtf8(timestamp())}, {"files", saved}, {"modes", modes}};
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
    if (files::itemExists(auth))
        files::restrictToOwner(auth);
    return {};
}

bool profileExists(const CodexHome& home, const QString& name)
{
    return files::itemExists(home.profilePath(name) + QLatin1Char('/') + codexfile::auth);
}
