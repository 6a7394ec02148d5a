#pragma once

#include "core/json.h"
#include "support/codex_home_builder.h"
#include "support/window_fixture.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

// A Codex home as a user has it: an account login with tokens, a configuration with
// other settings and tables, and conversations in the thread index and rollout files.
class WorkflowTest : public WindowTest {
protected:
    CodexHomeBuilder builder{temp.codexHome()};

    static const QByteArray accountAuth;
    static const QByteArray userConfig;

    // Three visible threads on "openai", one archived, one already on "tevrun".
    void makeAccountHome();
    // The same conversations, set up for the TEVRUN API.
    void makeApiHome(const QString& key);

    // Directories in the backups folder whose name starts with the kind and a timestamp.
    QStringList backupsOfKind(const QString& kind) const;
    QString onlyBackupOfKind(const QString& kind) const;

    std::optional<QString> providerOf(const QString& id) const { return builder.providerOf(id); }
    QString rolloutOf(const QString& id) const;
    QByteArray firstLineOf(const QString& id) const;
    Json authJson() const { return parseJson(temp.read("auth.json")).value_or(Json()); }

    // Every file below the Codex home with its bytes, to prove that nothing changed.
    QMap<QString, QByteArray> snapshot() const;

    void pressAction() const { QTest::mouseClick(actionButton(), Qt::LeftButton); }
    void typeKey(const QString& key) const { app->setApiFieldText(key); }
};
