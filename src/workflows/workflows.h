#pragma once

#include "codexapp/workspace.h"
#include "core/codex_home.h"
#include "core/error.h"
#include "core/switch_mode.h"
#include "relay/relay_endpoint.h"
#include "workflows/engine_context.h"
#include "workflows/engine_types.h"
#include "workflows/health_check.h"
#include "workflows/home_status.h"
#include "workflows/workflow_result.h"

#include <QObject>

#include <optional>

// What the window shows once it is built.
struct InitialState {
    std::optional<QString> fieldKey; // put unchanged into both key fields
    SwitchMode selectedMode;         // never ModeUnconfigured
    SwitchMode pillMode;             // the detected mode
    // Visible conversations on another provider than the active one, which Codex does not
    // list: the one problem worth saying at once.
    qint64 conversationsElsewhere = 0;
};

// Everything Morvane does to a Codex home, for the window and the command line alike: each
// workflow is a function of its own file on the engine's context, and this is their one
// door. Each call runs to its end on the calling thread and reports its steps through
// progress(); it never shows anything itself.
class Workflows : public QObject {
    Q_OBJECT
public:
    Workflows(CodexHome home, RelayEndpoint relay, Workspace& workspace, QObject* parent = nullptr);

    // The Codex home everything here reads and writes.
    const CodexHome& home() const { return m_home; }
    // What the window shows when it opens.
    InitialState startUpState() const;
    // What the home is set to now, and everything wrong with it, most important first.
    HomeStatus status() const;
    std::vector<HealthProblem> healthProblems() const;
    // Whether an account login was recorded to switch back to.
    bool hasAccountLogin() const;

    // The Codex processes running now; asking every one to quit and waiting a little for
    // it to go (for a caller without an event loop, which the next workflow checks);
    // opening the Codex app.
    std::vector<CodexProcess> codexProcesses() const;
    void quitCodexAndWait();
    void openCodex();

    // The keys that passed a check, newest first, and forgetting one of them.
    std::vector<HistoryItem> savedKeys() const;
    WorkflowResult forgetKey(const QString& id);

    // Checks the key with the relay and remembers it.
    WorkflowResult checkKey(const QString& keyInput);
    WorkflowResult switchToApi(const QString& keyInput);
    // Back to the recorded account login, or records the current one, or prepares a
    // fresh login.
    WorkflowResult switchToAccount();
    // Rewrites the configuration from the standard template of the mode; keyInput is
    // used in the API mode only.
    WorkflowResult repair(SwitchMode mode, const QString& keyInput);
    // Moves every visible conversation to the provider Codex lists now; the configuration
    // and the login stay as they are.
    WorkflowResult moveVisibleConversations();

    // The points a workflow backed up before changing anything, newest first.
    std::vector<RestorePoint> listBackups() const;
    // Each point (that one, or all) with the files it holds that are no longer as they
    // were backed up; the error for an unknown id.
    Expected<std::vector<std::pair<RestorePoint, QStringList>>> verifyBackups(const QString& id) const;
    // Puts a restore point back, after backing up the current state as a point of its own.
    WorkflowResult restoreBackup(const QString& id);
    // Deletes all but the newest keep restore points.
    WorkflowResult pruneBackups(qint64 keep);

    // Whether a start has anything to put right: a workflow cut off (a crash, a kill, a
    // power cut), or files a write cut off left in the Codex home (staging files, lock files
    // of threads). Cheap: asked at every start.
    bool hasCutOffWork() const;
    // Puts a workflow that was cut off back to where it began and removes the files its
    // writes left. Event::Nothing when there was nothing to do, or when another
    // front end is at work.
    WorkflowResult putBackCutOffWork();

Q_SIGNALS:
    // The task under way; done and total count rollout files while they are rewritten, and
    // are 0 otherwise.
    void progress(WorkflowTask task, qint64 done, qint64 total);

private:
    CodexHome m_home;
    RelayEndpoint m_relay;
    Workspace& m_workspace;
    EngineContext m_context; // on the members above
};
