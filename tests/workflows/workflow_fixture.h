#pragma once

#include "core/json.h"
#include "bench/codex_home_builder.h"
#include "support/fake_workspace.h"
#include "support/local_relay.h"
#include "support/temp_home.h"
#include "wording/workflow_wording.h"
#include "workflows/workflows.h"

#include <gtest/gtest.h>

#include <QMap>

// The engine on a Codex home as a user has it (an account login, a configuration with other
// tables, conversations), with a local relay and a fake workspace for the desktop.
class WorkflowTest : public ::testing::Test {
public:
    TempHome temp;
    FakeWorkspace workspace;
    LocalRelay relay;
    CodexHomeBuilder builder{temp.codexHome()};
    Workflows engine{temp.home(), relay.endpoint(), workspace};
    QStringList progress; // every report, as "text done/total"

    static const QByteArray accountAuth;
    static const QByteArray userConfig;

    WorkflowTest();

    // Three visible threads on "openai", one archived, one already on "tevrun".
    void makeAccountHome();
    // The same conversations, set up for the TEVRUN API.
    void makeApiHome(const QString& key);
    void recordAccountProfile(const QByteArray& config = userConfig) const;

    // Directories in the backups folder whose name starts with the kind and a timestamp.
    QStringList backupsOfKind(const QString& kind) const;
    QString onlyBackupOfKind(const QString& kind) const;

    std::optional<QString> providerOf(const QString& id) const { return builder.providerOf(id); }
    QString rolloutOf(const QString& id) const;
    QByteArray firstLineOf(const QString& id) const;
    Json authJson() const { return parseJson(temp.read("auth.json")).value_or(Json()); }

    // Every file below the user's home with its bytes, to prove that nothing changed.
    QMap<QString, QByteArray> snapshot() const;
    // The Codex home's files without Morvane's own folder and Codex's lock files (which a
    // killed holder leaves holding nothing): what putting back must give back.
    std::map<QString, QByteArray> codexFiles() const { return filesUnder(temp.codexHome(), {"morvane", "thread-writer-locks", ".tmp"}); }
};

// Another home with its own engine and relay, for a table whose rows each need a fresh one.
struct Home : WorkflowTest {
    void TestBody() override {}
};

// The outcome and the message, checked together.
void expectResult(const WorkflowResult& result, WorkflowResult::Outcome outcome, const QString& message);
