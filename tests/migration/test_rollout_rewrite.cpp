#include "migration/rollout_rewrite.h"
#include "bench/codex_home_builder.h"

#include <gtest/gtest.h>

namespace {

const QString id = QStringLiteral("019e763f-4a0c-7d21-9f3e-2b8a5c1d0e77");

// One head buffer for every call, as the migration uses it: nothing of a longer earlier
// text may show through.
std::optional<QByteArray> rewrittenRollout(const QByteArray& content, const QString& target)
{
    static QByteArray head;
    const std::optional<RolloutChange> change = rewriteRollout(content, target, SealedItems::GoWithProvider, head);
    if (!change) {
        EXPECT_TRUE(head.isEmpty());
        return std::nullopt;
    }
    return rewrittenText(*change, content, head);
}

} // namespace

// As Codex writes them: the metadata first, settings after it and again deep in the file.
// Only the provider's bytes change: escapes, numbers, member order and carriage returns stay.
TEST(RolloutRewrite, ChangesOnlyTheProviderAndKeepsEveryOtherByte)
{
    const RolloutShape large{.approximateSize = 24 << 20, .finalLineFeed = false, .metadataLines = 2}; // long lines
    const QByteArray small = rolloutContent(id, RolloutShape{.approximateSize = 200'000});
    EXPECT_EQ(small.count("\"model_provider_id\":\"openai\""), 2);
    const QByteArray escaped = "{\"timestamp\":\"t\",\"type\":\"session_meta\",\"payload\":{\"zeta\":1,\"model_provider\":"
                               "\"openai\",\"big\":18446744073709551615,\"text\":\"caf\\u00e9 \\\"model_provider\\\":\\\"x\\\" "
                               "对话 \\ud83c\\udf89\",\"alpha\":[1,2.50,null]}}\r\n{\"type\":\"event_msg\",\"payload\":{}}\r\n";
    for (const QByteArray& content : {small, rolloutContent(id, large), escaped}) {
        const QByteArray expected = QByteArray(content)
                                        .replace("\"model_provider\":\"openai\"", "\"model_provider\":\"tevrun\"")
                                        .replace("\"model_provider_id\":\"openai\"", "\"model_provider_id\":\"tevrun\"");
        EXPECT_TRUE(rewrittenRollout(content, "tevrun") == expected);
    }
    // Already on the target: nothing to write.
    EXPECT_FALSE(rewrittenRollout(rolloutContent(id, RolloutShape{.provider = "tevrun"}), "tevrun"));
}

TEST(RolloutRewrite, HandlesEveryLineThatRecordsAProviderAndOnlyThose)
{
    const QByteArray content =
        "{\"type\":\"session_meta\",\"payload\":{\"id\":\"x\"}}\n"                                    // no provider: added
        "{\"type\":\"session_meta\",\"payload\":\"text\"}\n"                                          // payload not an object
        "{\"type\":\"session_meta\",\"payload\":{\"model_provider\":7, \"n\":1}}\n"                    // not a string: replaced
        "{\"type\":\"event_msg\",\"payload\":{\"model_provider\":\"openai\",\"t\":\"session_meta\"}}\n" // other type
        "{\"type\":\"event_msg\",\"payload\":{}}\n"                                                 // plain
        "{\"tags\":[{\"type\":1}],\"type\":\"session\\u005fmeta\",\"payload\":{\"model_provider\":\"openai\"}}\n" // escaped, late
        "{\"type\":\"event_msg\",\"payload\":{\"type\":\"thread_settings_applied\",\"thread_settings\":"
        "{\"model\":\"m\",\"model_provider_id\":\"azure\",\"x\":{\"model_provider_id\":\"azure\"}}}}\n" // the outer one
        "{\"type\":\"event_msg\",\"payload\":{\"type\":\"thread_settings_applied\",\"thread_settings\":{}}}\n" // none named
        "{\"type\":\"compacted\",\"payload\":{\"replacement_history\":[{\"type\":\"message\",\"a\":\"reasoning\"}]}}\n" // nothing sealed in it
        "{\"type\":\"session_meta\",\"payload\":{\"model_provider\":\"tev\\u0072un\"}}\n"     // on the target already, escaped
        "{\"type\":\"event_msg\",\"payload\":{\"type\":\"thread_settings_applied_v2\",\"thread_settings\":{\"model_provider_id\":\"o\"}}}\n" // another type
        "{\"type\":\"response_item\",\"payload\":{\"type\":\"thread_settings_applied\",\"thread_settings\":"
        "{\"model_provider_id\":\"azure\"}}}\n"                                                       // not an event
        "[\"session_meta\"]\n"
        "\n"
        "{\"type\":\"session_meta\",\"payload\":{\"model_provider\":\"op";                             // truncated
    LineShifts shifts;
    QByteArray head;
    const std::optional<RolloutChange> change = rewriteRollout(content, "tevrun", SealedItems::GoWithProvider, head, &shifts);
    ASSERT_TRUE(change);
    EXPECT_FALSE(change->sealedRemoved);
    const QByteArray result = rewrittenText(*change, content, head);
    const QByteArray settings = "{\"type\":\"event_msg\",\"payload\":{\"type\":\"thread_settings_applied\",\"thread_settings\":"
                                "{\"model\":\"m\",\"model_provider_id\":\"tevrun\",\"x\":{\"model_provider_id\":\"azure\"}}}}\n";
    EXPECT_EQ(result,
              "{\"type\":\"session_meta\",\"payload\":{\"id\":\"x\",\"model_provider\":\"tevrun\"}}\n"
              "{\"type\":\"session_meta\",\"payload\":\"text\"}\n"
              "{\"type\":\"session_meta\",\"payload\":{\"model_provider\":\"tevrun\", \"n\":1}}\n"
              "{\"type\":\"event_msg\",\"payload\":{\"model_provider\":\"openai\",\"t\":\"session_meta\"}}\n"
              "{\"type\":\"event_msg\",\"payload\":{}}\n"
              "{\"tags\":[{\"type\":1}],\"type\":\"session\\u005fmeta\",\"payload\":{\"model_provider\":\"tevrun\"}}\n"
              + settings + content.sliced(content.indexOf("{\"type\":\"event_msg\",\"payload\":{\"type\":\"thread_settings_applied\",\"thread_settings\":{}")));
    // The lines that grew, as Codex's history offsets must follow them: each moves what
    // comes after it, and an offset at a line's start moves with the lines before it only.
    const qsizetype settingsStart = content.indexOf("{\"type\":\"event_msg\",\"payload\":{\"type\":\"thread_settings_applied");
    ASSERT_EQ(shifts.size(), 3u);
    EXPECT_EQ(shifts[0].lineStart, 0);
    EXPECT_EQ(shifts[2].lineStart, settingsStart);
    EXPECT_EQ(shifts[2].delta, 1);
    EXPECT_EQ(shiftedOffset(settingsStart, shifts), settingsStart + shifts[0].delta + shifts[1].delta);
    EXPECT_EQ(shiftedOffset(content.size(), shifts), result.size());
    EXPECT_EQ(shiftedOffset(0, shifts), 0);
}

// What only the old provider reads goes when a conversation moves, and nothing else: its
// reasoning (sealed, blanked or plain) and compaction items, also inside a compaction's
// replacement history. Every other line keeps its bytes and its ordinal; Codex's history
// offsets follow the removed bytes; a line that is no JSON stays.
TEST(RolloutRewrite, AMoveTakesOutTheSealedItemsAndNothingElse)
{
    const QByteArray message = R"({"type":"message","role":"user","content":[{"type":"input_text","text":"a\/b \u00e9 \"reasoning\""}]})";
    const QList<QByteArray> lines = {
        sessionMetaLine(id, "openai"),
        R"({"ordinal":1,"type":"response_item","payload":)" + message + "}",
        reasoningLine(2),
        R"({"ordinal":3,"type":"response_item","payload":{"id":"rs_3","type":"reasoning","summary":[],"content":[{"type":"reasoning_text","text":"x"}],"encrypted_content":null}})",
        R"({"ordinal":4,"type":"event_msg","payload":{"type":"agent_reasoning","text":"reasoning"}})",
        R"({"ordinal":5,"type":"response_item","payload":{"type":"function_call","name":"shell","arguments":"{\"type\":\"reasoning\"}"}})",
        R"({"ordinal":6,"type":"compacted","payload":{"message":"","replacement_history": [)" + message
            + R"(, "note", 7, {"type":"reasoning","encrypted_content":"gAAA"}, {"type":"compaction","encrypted_content":"gAAB"}]}})",
        R"({"ordinal":7,"type":"response_item","payload":{"type":"compaction_summary","encrypted_content":"gAAC"}})",
        R"({"ordinal":8,"payload":{"summary":[{"a":{}}],"type":"compaction"},"type":"response_item"})",
        R"({"ordinal":9,"type":"response_item","payload":{"type":"reasoning","encrypted_content":"gAA)", // cut off
    };
    const QByteArray content = lines.join('\n');
    const QByteArray compacted = R"({"ordinal":6,"type":"compacted","payload":{"message":"","replacement_history": [)" + message + R"(,"note",7]}})";
    const auto without = [&](const QString& provider) {
        return QList<QByteArray>{sessionMetaLine(id, provider), lines[1], lines[4], lines[5], compacted, lines[9]}.join('\n');
    };
    const struct {
        QString target;
        SealedItems sealed;
        std::optional<QByteArray> expected;
    } rows[] = {
        {"tevrun", SealedItems::GoWithProvider, without("tevrun")},
        {"openai", SealedItems::GoWithProvider, std::nullopt}, // stays where it is: untouched
        {"openai", SealedItems::Go, without("openai")},        // its row moves: the file goes with it
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.target.toStdString());
        QByteArray head;
        LineShifts shifts;
        const std::optional<RolloutChange> change = rewriteRollout(content, row.target, row.sealed, head, &shifts);
        ASSERT_EQ(change.has_value(), row.expected.has_value());
        if (!change)
            continue;
        const QByteArray result = rewrittenText(*change, content, head);
        EXPECT_EQ(result, *row.expected);
        EXPECT_TRUE(change->sealedRemoved);
        // Each kept line's start, and any offset inside a removed line, lands where it should.
        for (const QByteArray& kept : {lines[1], lines[4], lines[5], lines[9]})
            EXPECT_EQ(shiftedOffset(content.indexOf(kept), shifts), result.indexOf(kept)) << kept.toStdString();
        EXPECT_EQ(shiftedOffset(content.indexOf(lines[3]) + 10, shifts), result.indexOf(lines[4]));
        EXPECT_EQ(shiftedOffset(content.size(), shifts), result.size());
    }
}
