// The real Codex (MORVANE_CODEX, from scripts/test-codex) offline: a stub on loopback answers
// and records its model requests, and its own app-server says what it lists.

#include "codexapp/system_workspace.h"
#include "codexapp/thread_locks.h"
#include "config/config_writers.h"
#include "migration/rollout_compression.h"
#include "workflows/health_check.h"
#include "workflows/workflow_fixture.h"

#include <QDirIterator>
#include <QProcess>
#include <QTest>

#include <atomic>

#include <sqlite3.h>

namespace {

const QString key = QStringLiteral("sk-compat.Key_42");

// The Responses API as it treats sealed content: what it hands out (reasoning, compactions)
// is bound to the caller that asked, and a request that carries another caller's, or a
// reasoning item without its content, is refused.
class SealingModel {
public:
    LocalRelay::Reply answer(const LocalRelay::Request& request)
    {
        const QByteArray caller = request.headers.value("authorization");
        // Codex compresses what it sends to the account's backend.
        const QByteArray body = request.headers.value("content-encoding") == "zstd"
            ? decompressedRollout("request", request.body).value_or(QByteArray())
            : request.body;
        const Json input = parseJson(body).value_or(Json::object()).value("input", Json::array());
        for (size_t i = 0; i < input.size(); ++i) {
            const std::string type = input[i].value("type", "");
            if (type != "reasoning" && type != "compaction" && type != "compaction_summary")
                continue;
            const Json content = input[i].value("encrypted_content", Json());
            if (!content.is_string())
                return refusal("missing_required_parameter", "Missing required parameter: 'input[" + std::to_string(i) + "].encrypted_content'.");
            if (!content.get<std::string>().starts_with(sealPrefix(caller)))
                return refusal("invalid_encrypted_content", "The encrypted content could not be verified. Reason: Encrypted content could not be decrypted or parsed.");
        }
        if (!input.empty() && input.back().value("type", "") == "compaction_trigger")
            return stream({{{"type", "compaction"}, {"id", "cmp_1"}, {"encrypted_content", seal(caller)}}});
        return stream({{{"type", "reasoning"}, {"id", "rs_1"}, {"summary", {{{"type", "summary_text"}, {"text", "thinking"}}}},
                        {"encrypted_content", seal(caller)}},
                       {{"type", "message"}, {"role", "assistant"}, {"id", "m1"}, {"content", {{{"type", "output_text"}, {"text", "ok"}}}}}});
    }

private:
    static std::string sealPrefix(const QByteArray& caller) { return "sealed." + caller.toBase64().toStdString() + "."; }
    std::string seal(const QByteArray& caller) { return sealPrefix(caller) + std::to_string(++m_seals); }

    static LocalRelay::Reply refusal(const char* code, const std::string& message)
    {
        const Json error = {{"error", {{"message", message}, {"type", "invalid_request_error"}, {"param", nullptr}, {"code", code}}}};
        return {400, QByteArray::fromStdString(error.dump()), {{"Content-Type", "application/json"}}};
    }

    static LocalRelay::Reply stream(const Json& items)
    {
        QByteArray body;
        const auto event = [&body](const Json& data) {
            body += "event: " + QByteArray::fromStdString(data["type"]) + "\ndata: " + QByteArray::fromStdString(data.dump()) + "\n\n";
        };
        event({{"type", "response.created"}, {"response", {{"id", "r1"}}}});
        for (const Json& item : items)
            event({{"type", "response.output_item.done"}, {"item", item}});
        event({{"type", "response.completed"},
               {"response", {{"id", "r1"}, {"usage", {{"input_tokens", 1}, {"output_tokens", 1}, {"total_tokens", 2}}}}}});
        return {200, body, {{"Content-Type", "text/event-stream"}}};
    }

    std::atomic<int> m_seals = 0;
};

// A login that Codex takes for an account's without asking anyone: a token it can read,
// refreshed just now.
QByteArray fakeAccountLogin()
{
    const QByteArray claims = R"({"email":"user@example.org","exp":4102444800,"https://api.openai.com/auth":{"chatgpt_account_id":"a1"}})";
    const std::string token = "e30." + claims.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals).toStdString() + ".s";
    return QByteArray::fromStdString(Json{{"OPENAI_API_KEY", nullptr},
                                          {"tokens", {{"id_token", token}, {"access_token", token}, {"refresh_token", "r"}, {"account_id", "a1"}}},
                                          {"last_refresh", QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString()}}
                                         .dump());
}

class RealCodex : public WorkflowTest {
protected:
    void SetUp() override
    {
        if (m_codex.isEmpty())
            GTEST_SKIP() << "MORVANE_CODEX names no Codex: scripts/test-codex installs one";
        temp.write("auth.json", fakeAccountLogin());
        temp.write("config.toml", userConfig);
        m_model.answerWith([this](const LocalRelay::Request& request) {
            if (request.method == "POST" && request.path.endsWith("/responses")) {
                LocalRelay::Reply reply = m_sealing.answer(request);
                reply.silent = m_stalled;
                return reply;
            }
            // No WebSocket here: Codex falls back to a plain request.
            return LocalRelay::Reply{request.headers.contains("upgrade") ? 404 : 200, "{}"};
        });
    }

    // Runs Codex in the home with its servers on loopback; the output of a run that fails is
    // a test failure.
    QByteArray codex(const QStringList& arguments, QProcess* running = nullptr, const QString& program = QString(),
                     const QByteArray& input = {})
    {
        const QString stub = m_model.endpoint().baseURL.toString();
        QStringList overrides = {"-c", "openai_base_url=\"" + stub + "\"", "-c",
                                 "chatgpt_base_url=\"" + QString(stub).replace("/v1", "/backend-api") + "\""};
        // The relay's requests come to a path of their own.
        for (const QString provider : {"tevrun", "azure"}) {
            const QString url = provider == "tevrun" ? QString(stub).replace("/v1", "/relay/v1") : stub;
            for (const QString& setting : {"name=\"" + provider + "\"", "base_url=\"" + url + "\"", QStringLiteral("supports_websockets=false")})
                overrides << "-c" << "model_providers." + provider + "." + setting;
        }
        QProcess own;
        QProcess& process = running ? *running : own;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", temp.userHome());
        for (const char* name : {"CODEX_HOME", "CODEX_SQLITE_HOME", "OPENAI_API_KEY"})
            environment.remove(name);
        if (!m_codexHome.isEmpty())
            environment.insert("CODEX_HOME", m_codexHome);
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(temp.userHome());
        process.start(program.isEmpty() ? m_codex : program, overrides + arguments);
        if (running)
            return {};
        process.write(input);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(180'000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        return process.readAllStandardOutput();
    }

    // A new conversation; its id.
    QString startConversation(const QString& prompt, const QStringList& options = {})
    {
        const QByteArray output = codex(options + QStringList{"exec", "--json", "--skip-git-repo-check", prompt});
        const std::optional<Json> started = parseJson(output.left(output.indexOf('\n')));
        EXPECT_TRUE(started && started->value("type", "") == "thread.started") << output.toStdString();
        return started ? fromUtf8(started->value("thread_id", "")) : QString();
    }

    void resume(const QString& id, const QString& prompt, const QStringList& options = {})
    {
        codex(options + QStringList{"exec", "--skip-git-repo-check", "resume", id, prompt});
    }

    // Which login Codex says it found, and the model requests since the count given.
    QByteArray loginStatus()
    {
        QProcess status;
        codex({"login", "status"}, &status);
        EXPECT_TRUE(status.waitForFinished(60'000));
        return status.readAllStandardError();
    }
    std::vector<LocalRelay::Request> modelRequestsSince(size_t count)
    {
        std::vector<LocalRelay::Request> sent = m_model.requests();
        std::erase_if(sent, [&, i = size_t(0)](const LocalRelay::Request& r) mutable { return i++ < count || r.method != "POST"; });
        return sent;
    }

    // Asks codex app-server each request in turn, as its clients do; the results. The server
    // is let go once done says its work is done.
    std::vector<Json> ask(const std::vector<std::pair<const char*, Json>>& requests, const std::function<bool()>& done = {})
    {
        QProcess server;
        codex({"app-server"}, &server);
        EXPECT_TRUE(server.waitForStarted());
        const auto call = [&server](int id, const char* method, const Json& params) {
            server.write(QByteArray::fromStdString(Json{{"id", id}, {"method", method}, {"params", params}}.dump()) + '\n');
            for (QDeadlineTimer deadline(60'000); !deadline.hasExpired();) {
                if (!server.canReadLine() && !server.waitForReadyRead(1000))
                    continue;
                const std::optional<Json> message = parseJson(server.readLine());
                if (message && message->value("id", -1) == id)
                    return message->value("result", Json());
            }
            ADD_FAILURE() << "codex app-server did not answer " << method;
            return Json();
        };
        call(0, "initialize", {{"clientInfo", {{"name", "morvane-tests"}, {"version", "1"}}}});
        server.write(R"({"method":"initialized"})" "\n");
        std::vector<Json> results;
        for (const auto& [method, params] : requests)
            results.push_back(call(int(results.size()) + 1, method, params));
        EXPECT_TRUE(!done || QTest::qWaitFor(done, 60'000));
        // At the end of its input it lets go of the thread index, as a client's quitting does.
        server.closeWriteChannel();
        if (!server.waitForFinished(10'000))
            server.kill();
        server.waitForFinished();
        return results;
    }

    // What Codex lists on the active provider: as the desktop app lists, then with a search
    // (which rebuilds each hit's row from its file; a fork holds no text of its own to find),
    // then from the index alone, as the editor extension lists.
    void expectListed(const QStringList& ids, const char* when, const QString& fork = QString())
    {
        SCOPED_TRACE(when);
        const Json all = {{"sourceKinds", {"exec", "cli", "vscode", "appServer"}}};
        const auto with = [&all](const char* name, const Json& value) { Json params = all; params[name] = value; return params; };
        const char* ways[] = {"listing", "search", "index only"};
        const std::vector<Json> answers = ask(
            {{"thread/list", all}, {"thread/list", with("searchTerm", "hello")}, {"thread/list", with("useStateDbOnly", true)}});
        QStringList expected = ids;
        expected.sort();
        for (size_t i = 0; i < answers.size(); ++i) {
            QStringList wanted = expected;
            if (i == 1)
                wanted.removeAll(fork);
            QStringList listed;
            for (const Json& thread : answers[i].value("data", Json::array()))
                listed << fromUtf8(thread.value("id", ""));
            listed.sort();
            EXPECT_EQ(listed, wanted) << ways[i];
        }
    }

    QStringList problemCodes()
    {
        QStringList codes;
        for (const HealthProblem& problem : checkHealth(temp.home(), workspace))
            codes << problem.code;
        return codes;
    }

    // Codex's own executable under a name that no process list knows, as an editor's copy.
    QString disguisedCodex() const
    {
        QDirIterator it(QFileInfo(m_codex).absolutePath() + "/..", {"codex"}, QDir::Files, QDirIterator::Subdirectories);
        QString path;
        while (it.hasNext() && !path.contains("/vendor/"))
            path = it.next();
        EXPECT_TRUE(QFile::copy(path, temp.userHome() + "/editor-agent")) << path.toStdString();
        return temp.userHome() + "/editor-agent";
    }

    const QString m_codex = qEnvironmentVariable("MORVANE_CODEX");
    QString m_codexHome; // CODEX_HOME for Codex, when set
    std::atomic<bool> m_stalled = false; // the model never answers: Codex keeps its turn open
    SealingModel m_sealing;
    LocalRelay m_model;
};

} // namespace

// Codex's conversations (one from a provider of another name length) stay listed through both
// switches, a search and a rebuilt index; the relay gets the key; a moved one reads back whole.
TEST_F(RealCodex, KeepsEveryConversationListedAndSendsTheKey)
{
    const QString first = startConversation("hello one");
    const QString second = startConversation("hello two");
    const QString azure = startConversation("hello azure", {"-c", "model_provider=\"azure\""});
    const QStringList all = {first, second, azure};
    // A Codex started while the move holds the conversations is refused by Codex itself.
    QObject::connect(&engine, &Workflows::progress, [&, asked = false](WorkflowTask, qint64, qint64 total) mutable {
        if (total == 0 || std::exchange(asked, true))
            return;
        QProcess late;
        // On the provider its row still names: the configuration is the relay's already.
        codex({"-c", "model_provider=\"openai\"", "exec", "--skip-git-repo-check", "resume", first, "too soon"}, &late);
        EXPECT_TRUE(late.waitForFinished(60'000));
        EXPECT_NE(late.exitCode(), 0);
        const QByteArray said = late.readAllStandardError();
        EXPECT_TRUE(said.contains("already has an active writer")) << said.toStdString();
    });
    expectResult(engine.switchToApi(key), WorkflowResult::Outcome::Done,
                 "已切到 TEVRUN API，GPT 账号 登陆状态已自动记录。 已同步 3 条对话记录。"
                 "其中 3 条对话去掉了只有原来的登录方式才能读的推理记录。正在打开 Codex。");
    expectListed(all, "on the relay");
    EXPECT_EQ(problemCodes(), QStringList());

    // The relay gets the key Morvane wrote.
    resume(first, "hello again");
    const std::vector<LocalRelay::Request> sent = m_model.requests();
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(), [](const LocalRelay::Request& r) {
                  return r.method == "POST" && r.headers.value("authorization") == "Bearer " + key.toUtf8();
              }), 1);
    // The one that moved from azure, a byte longer now, reads back whole and goes on.
    resume(azure, "hello azure again");
    const std::string turns = ask({{"thread/turns/list", {{"threadId", azure.toStdString()}}}})[0].dump();
    for (const char* text : {"\"hello azure\"", "\"hello azure again\""})
        EXPECT_NE(turns.find(text), std::string::npos) << text;

    expectResult(engine.switchToAccount(), WorkflowResult::Outcome::Done,
                 "已切回 GPT 账号 登陆。 已同步 3 条对话记录。其中 2 条对话去掉了只有原来的登录方式才能读的推理记录。正在打开 Codex。");
    expectListed(all, "back on the account");

    // A home half moved by hand: doctor and the move agree with what Codex lists.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(temp.path("state_5.sqlite")).constData(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 10'000);
    const QByteArray half = "UPDATE threads SET model_provider = 'tevrun' WHERE id = '" + second.toUtf8() + "'";
    EXPECT_EQ(sqlite3_exec(db, half.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    EXPECT_EQ(problemCodes(), QStringList{"conversations-elsewhere"});
    expectResult(engine.moveVisibleConversations(), WorkflowResult::Outcome::Done,
                 "已把 1 条对话移到 provider “openai”上，Codex 会列出它们。");
    EXPECT_EQ(problemCodes(), QStringList());
    expectListed(all, "after move-conversations");
    for (const QString& name : QStringList{"state_5.sqlite", "state_5.sqlite-wal", "state_5.sqlite-shm"})
        QFile::remove(temp.path(name));
    expectListed(all, "after Codex rebuilt its index");
}

// A Codex of a name no process list knows, with a conversation open, refuses the switch.
TEST_F(RealCodex, AnOpenConversationOfAnUnknownCodexRefusesTheSwitch)
{
    const QString first = startConversation("hello one");
    QProcess holder;
    m_stalled = true;
    codex({"exec", "--skip-git-repo-check", "resume", first, "hold it"}, &holder, disguisedCodex());
    EXPECT_TRUE(QTest::qWaitFor([&] { return openThreadIds(temp.home()).value_or(QStringList()) == QStringList{first}; }, 60'000));
    const std::unique_ptr<Workspace> system = makeSystemWorkspace();
    expectResult(Workflows(temp.home(), relay.endpoint(), *system).switchToApi(key), WorkflowResult::Outcome::CodexRunning,
                 "已检测到 Codex 正开着 1 条对话，请先退出 Codex 再试。");
    EXPECT_TRUE(engine.listBackups().empty());
    holder.kill();
    holder.waitForFinished();
}

// Conversations whose requests carry the account's sealed reasoning, one forked, one
// compacted by Codex and one archived, go on at the relay after the switch, and on the
// account after a turn there; the archived one, brought back, is listed.
TEST_F(RealCodex, MovedConversationsGoOnAtTheNewProviderAndBack)
{
    const QString first = startConversation("hello first");
    resume(first, "hello again");
    const QString compacted = startConversation("hello compact");
    const QString archived = startConversation("hello archive");
    const auto thread = [](const QString& id) { return Json{{"threadId", id.toStdString()}}; };
    const std::vector<Json> answers =
        ask({{"thread/fork", thread(first)}, {"thread/resume", thread(compacted)}, {"thread/compact/start", thread(compacted)},
             {"thread/archive", thread(archived)}},
            [&] { return readFileAt(rolloutOf(compacted)).contains("\"type\":\"compacted\""); });
    const QString fork = fromUtf8(answers[0]["thread"].value("id", ""));
    ASSERT_FALSE(fork.isEmpty()) << answers[0].dump();

    const WorkflowResult switched = engine.switchToApi(key);
    ASSERT_EQ(switched.outcome, WorkflowResult::Outcome::Done) << outcomeText(switched).toStdString();
    for (const QString& id : {first, fork, compacted})
        resume(id, "go on at the relay");
    // What the user said before the compaction is still in the conversation.
    EXPECT_TRUE(m_model.requests().back().body.contains("hello compact"));
    ask({{"thread/unarchive", thread(archived)}});
    expectListed({first, fork, compacted, archived}, "on the relay", fork);

    ASSERT_EQ(engine.switchToAccount().outcome, WorkflowResult::Outcome::Done);
    resume(first, "back on the account");
}

// The user's MCP servers and trusted project are Codex's in both modes, and a server added
// on the relay is still there after the switch back.
TEST_F(RealCodex, TheUsersSettingsStayInBothModes)
{
    const auto expectSettings = [this](const QStringList& servers, const char* provider) {
        SCOPED_TRACE(provider);
        QStringList listed;
        for (const Json& server : parseJson(codex({"mcp", "list", "--json"})).value_or(Json::array()))
            listed << fromUtf8(server.value("name", ""));
        EXPECT_EQ(listed, servers);
        const Json config = ask({{"config/read", Json::object()}})[0].value("config", Json::object());
        EXPECT_EQ(config["projects"]["/home/user/work/repo"]["trust_level"], "trusted") << config.dump();
        EXPECT_EQ(config["model_provider"], provider ? Json(provider) : Json());
    };
    ASSERT_EQ(engine.switchToApi(key).outcome, WorkflowResult::Outcome::Done);
    expectSettings({"files"}, "tevrun");
    codex({"mcp", "add", "search", "--", "search-mcp"});
    ASSERT_EQ(engine.switchToAccount().outcome, WorkflowResult::Outcome::Done);
    expectSettings({"files", "search"}, nullptr);
}

// A Codex home CODEX_HOME names, its login in the keyring (alone, with Codex's fallback, in
// Codex's encrypted file) and a profile of the account's provider: after the switch Codex,
// with the profile too, sends the relay the key alone; after the way back it has its own login.
TEST_F(RealCodex, TheHomeTheLoginAndTheProfileCodexUsesAreTheOnesSwitched)
{
    m_codexHome = temp.userHome() + "/elsewhere";
    ASSERT_TRUE(QDir().rename(temp.codexHome(), m_codexHome));
    const QByteArray login = readFileAt(m_codexHome + "/auth.json");
    storeKeyringLogin(m_codexHome, login);
    QFile::remove(m_codexHome + "/auth.json");
    writeFileAt(m_codexHome + "/work.config.toml", "model_provider = \"openai\"\n");
    Workflows elsewhere(codexHomeFrom(temp.userHome(), m_codexHome, {}).value(), relay.endpoint(), workspace);
    // Last, the user's own API key in Codex's encrypted file, its passphrase in the keyring.
    for (const auto& [store, features, found] : {std::tuple{"keyring", "", "ChatGPT"}, {"auto", "", "ChatGPT"},
                                                 {"keyring", "[features]\nsecret_auth_storage = true\n", "API key"}}) {
        SCOPED_TRACE(std::string(store) + features);
        writeFileAt(m_codexHome + "/config.toml", "cli_auth_credentials_store = \"" + QByteArray(store) + "\"\n" + userConfig + features);
        if (*features)
            codex({"login", "--with-api-key"}, nullptr, QString(), "sk-own.OpenAI\n");
        EXPECT_EQ(QFileInfo::exists(m_codexHome + "/secrets/codex_auth.age"), *features != 0);
        const QString id = startConversation("hello");
        EXPECT_TRUE(loginStatus().contains(found));
        const size_t before = m_model.requests().size();
        ASSERT_EQ(elsewhere.switchToApi(key).outcome, WorkflowResult::Outcome::Done);
        resume(id, "at the relay");
        resume(id, "with the profile", {"-p", "work"});
        const std::vector<LocalRelay::Request> sent = modelRequestsSince(before);
        EXPECT_EQ(sent.size(), 2u);
        for (const LocalRelay::Request& request : sent)
            EXPECT_TRUE(request.path.startsWith("/relay/") && request.headers.value("authorization") == "Bearer " + key.toUtf8());
        ASSERT_EQ(elsewhere.switchToAccount().outcome, WorkflowResult::Outcome::Done);
        EXPECT_TRUE(loginStatus().contains(found));
        const size_t back = m_model.requests().size();
        resume(id, "back on the account", {"-p", "work"});
        for (const LocalRelay::Request& request : modelRequestsSince(back))
            EXPECT_FALSE(request.path.startsWith("/relay/") || request.headers.value("authorization").contains(key.toUtf8()));
    }
    EXPECT_FALSE(QFileInfo::exists(temp.userHome() + "/.codex/config.toml"));
}

// A conversation moved to the relay with the account's sealed reasoning, as another tool does,
// is refused; doctor finds it, the move it names mends it and it goes on.
TEST_F(RealCodex, AConversationAnotherToolLeftUnusableIsFoundAndMended)
{
    const QString id = startConversation("hello sealed");
    ASSERT_TRUE(writeApiConfigWithKey(temp.home(), key));
    builder.execute("UPDATE threads SET model_provider = 'tevrun'");
    writeFileAt(rolloutOf(id), readFileAt(rolloutOf(id))
                                   .replace("\"model_provider\":\"openai\"", "\"model_provider\":\"tevrun\"")
                                   .replace("\"model_provider_id\":\"openai\"", "\"model_provider_id\":\"tevrun\""));
    QProcess refused;
    codex({"exec", "--skip-git-repo-check", "resume", id, "refused"}, &refused);
    EXPECT_TRUE(refused.waitForFinished(180'000));
    EXPECT_TRUE(readFileAt(rolloutOf(id)).contains("invalid_encrypted_content"));
    EXPECT_EQ(problemCodes(), QStringList{"sealed-content-refused"});
    ASSERT_EQ(engine.moveVisibleConversations().outcome, WorkflowResult::Outcome::Done);
    EXPECT_EQ(problemCodes(), QStringList());
    resume(id, "goes on");
}
