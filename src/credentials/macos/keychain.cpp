// The login Keychain, through the system's own security tool: it asks the user to allow
// access as the Security framework would, and needs no framework headers to build.

#include "credentials/system_keyring.h"

#include <QProcess>

namespace {

constexpr int itemNotFound = 44; // errSecItemNotFound, as the tool exits

} // namespace

QString systemKeyringName() { return QStringLiteral("系统钥匙串（Keychain）"); }

Expected<std::optional<QByteArray>> readKeyringEntry(const QString& service, const QString& account)
{
    QProcess tool;
    tool.start(QStringLiteral("/usr/bin/security"), {QStringLiteral("find-generic-password"), QStringLiteral("-s"), service,
                                                     QStringLiteral("-a"), account, QStringLiteral("-w")});
    if (!tool.waitForFinished(60'000) || tool.exitStatus() != QProcess::NormalExit) {
        tool.kill();
        return std::unexpected(Error{morvaneErrorDomain, 0, QStringLiteral("没有回答")});
    }
    if (tool.exitCode() == itemNotFound)
        return std::optional<QByteArray>();
    if (tool.exitCode() != 0) {
        const QString reason = QString::fromUtf8(tool.readAllStandardError()).trimmed();
        return std::unexpected(Error{morvaneErrorDomain, 0, QStringLiteral("拒绝了查询（%1）").arg(reason)});
    }
    QByteArray entry = tool.readAllStandardOutput();
    if (entry.endsWith('\n'))
        entry.chop(1);
    return std::optional(entry);
}
