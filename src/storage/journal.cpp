#include "storage/journal.h"

#include "core/files/file_errors.h"
#include "core/files/file_io.h"
#include "core/files/file_tree.h"
#include "core/json_file.h"

#include <cerrno>

#include <unistd.h>

namespace {

QString journalPath(const CodexHome& home)
{
    return home.morvaneRootPath() + QStringLiteral("/journal.json");
}

} // namespace

Expected<> writeJournal(const CodexHome& home, const Journal& journal)
{
    Json created = Json::array();
    for (const QString& path : journal.createdFiles)
        created.push_back(toUtf8(path));
    const Json record = {{"workflow", toUtf8(journal.workflow)},
                         {"restore_point", toUtf8(journal.restorePoint)},
                         {"created_files", created}};
    if (Expected<> made = files::makeDirectory(home.morvaneRootPath()); !made)
        return made;
    return writeJsonAtomically(journalPath(home), record);
}

bool hasJournal(const CodexHome& home)
{
    return files::itemExists(journalPath(home));
}

Expected<Journal> readJournal(const CodexHome& home)
{
    const Expected<QByteArray> bytes = files::readWhole(journalPath(home));
    if (!bytes)
        return std::unexpected(bytes.error());
    const std::optional<Json> record = parseJson(*bytes);
    const auto text = [&record](const char* name) -> std::optional<QString> {
        const auto member = record->find(name);
        if (member == record->end() || !member->is_string() || member->get<std::string>().empty())
            return std::nullopt;
        return fromUtf8(member->get<std::string>());
    };
    Journal journal;
    const auto created = record && record->is_object() ? record->find("created_files") : Json::const_iterator();
    bool valid = record && record->is_object() && text("workflow") && text("restore_point")
        && created != record->end() && created->is_array();
    if (valid) {
        journal.workflow = *text("workflow");
        journal.restorePoint = *text("restore_point");
        for (const Json& path : *created) {
            valid = valid && path.is_string();
            if (valid)
                journal.createdFiles << fromUtf8(path.get<std::string>());
        }
    }
    if (!valid) {
        return std::unexpected(
            files::fileErrorWithReason(QStringLiteral("读取"), journalPath(home), QStringLiteral("不是 Morvane 的操作记录")));
    }
    return journal;
}

Expected<> removeJournal(const CodexHome& home)
{
    if (::unlink(files::nativePath(journalPath(home)).constData()) == 0 || errno == ENOENT)
        return {};
    return std::unexpected(files::systemError(QStringLiteral("删除"), journalPath(home), errno));
}
