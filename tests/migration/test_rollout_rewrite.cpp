#include "migration/rollout_rewrite.h"
#include "bench/codex_home_builder.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace {

const QString id = QStringLiteral("019e763f-4a0c-7d21-9f3e-2b8a5c1d0e77");

// One head buffer for every call, as the migration uses it: nothing of a longer earlier
// text may show through.
std::optional<QByteArray> rewrittenRollout(const QByteArray& content, const QString& target)
{
    static QByteArray head;
    const std::optional<qsizetype> rest = rewriteRollout(content, target, head);
    if (!rest) {
        EXPECT_TRUE(head.isEmpty());
        return std::nullopt;
    }
    return head + content.mid(*rest);
}

} // namespace

TEST(RolloutRewrite, ChangesOnlyTheMetadataLinesAndKeepsEveryOtherByte)
{
    RolloutShape large; // long lines, two metadata lines, no final line feed
    large.approximateSize = 24 << 20;
    large.metadataLines = 2;
    large.finalLineFeed = false;
    const QByteArray small = rolloutContent(id, RolloutShape{.approximateSize = 200'000});
    const QByteArray big = rolloutContent(id, large);

    const QByteArray meta = sessionMetaLine(id, "tevrun") + '\n';
    const qsizetype metaSize = sessionMetaLine(id, "openai").size() + 1;
    const QByteArray rewritten = rewrittenRollout(big, "tevrun").value_or(QByteArray());
    EXPECT_EQ(rewrittenRollout(small, "tevrun"), meta + small.mid(metaSize));
    EXPECT_EQ(rewritten.left(2 * metaSize), meta + meta);
    EXPECT_TRUE(rewritten.mid(2 * metaSize) == big.mid(2 * metaSize));
    EXPECT_FALSE(rewritten.endsWith('\n'));
    // Already on the target: nothing to write.
    EXPECT_FALSE(rewrittenRollout(rolloutContent(id, RolloutShape{.provider = "tevrun"}), "tevrun"));
}

TEST(RolloutRewrite, HandlesEveryMetadataLineAndOnlyRealOnes)
{
    const QByteArray content =
        "{\"type\":\"session_meta\",\"payload\":{\"id\":\"x\"}}\n"                                    // no provider: added
        "{\"type\":\"session_meta\",\"payload\":\"text\"}\n"                                          // payload not an object
        "{\"type\":\"session_meta\",\"payload\":{\"model_provider\":7}}\n"                            // not a string: replaced
        "{\"type\":\"event_msg\",\"payload\":{\"model_provider\":\"openai\",\"t\":\"session_meta\"}}\n" // other type
        "{\"type\":\"event_msg\",\"payload\":{}}\n"                                                 // plain
        "{\"type\":\"session\\u005fmeta\",\"payload\":{\"model_provider\":\"openai\"}}\n"             // escaped type
        "[\"session_meta\"]\n"
        "\n"
        "{\"type\":\"session_meta\",\"payload\":{\"model_provider\":\"op";                             // truncated
    const std::optional<QByteArray> result = rewrittenRollout(content, QStringLiteral("tevrun"));
    ASSERT_TRUE(result);
    EXPECT_EQ(*result,
              "{\"type\":\"session_meta\",\"payload\":{\"id\":\"x\",\"model_provider\":\"tevrun\"}}\n"
              "{\"type\":\"session_meta\",\"payload\":\"text\"}\n"
              "{\"type\":\"session_meta\",\"payload\":{\"model_provider\":\"tevrun\"}}\n"
              "{\"type\":\"event_msg\",\"payload\":{\"model_provider\":\"openai\",\"t\":\"session_meta\"}}\n"
              "{\"type\":\"event_msg\",\"payload\":{}}\n"
              "{\"type\":\"session_meta\",\"payload\":{\"model_provider\":\"tevrun\"}}\n"
              "[\"session_meta\"]\n"
              "\n"
              "{\"type\":\"session_meta\",\"payload\":{\"model_provider\":\"op");
}

TEST(RolloutRewrite, KeepsMemberOrderNumbersStringsAndCarriageReturns)
{
    const QByteArray meta = "{\"timestamp\":\"t\",\"type\":\"session_meta\",\"payload\":{\"zeta\":1,\"model_provider\":"
                            "\"openai\",\"big\":18446744073709551615,\"neg\":-9007199254740993,\"text\":\"caf\\u00e9 "
                            "\\\"q\\\" 对话 \\ud83c\\udf89\",\"alpha\":[1,2.5,null]}}";
    const QByteArray content = meta + "\r\n{\"type\":\"event_msg\",\"payload\":{}}\r\n";
    const std::optional<QByteArray> result = rewrittenRollout(content, QStringLiteral("tevrun"));
    ASSERT_TRUE(result);
    const QList<QByteArray> lines = result->split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith('\r'));
    EXPECT_EQ(lines[1], "{\"type\":\"event_msg\",\"payload\":{}}\r");

    using Ordered = nlohmann::ordered_json;
    Ordered expected = Ordered::parse(meta.toStdString());
    expected["payload"]["model_provider"] = "tevrun";
    const QByteArray rewrittenLine = lines[0].chopped(1);
    EXPECT_EQ(Ordered::parse(rewrittenLine.toStdString()), expected);
    EXPECT_EQ(rewrittenLine.toStdString(), expected.dump());
    EXPECT_TRUE(rewrittenLine.contains("\"zeta\":1,\"model_provider\":\"tevrun\",\"big\":18446744073709551615"));
}
