#include "migration/rollout_rewrite.h"
#include "support/codex_home_builder.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace {

const QString id = QStringLiteral("019e763f-4a0c-7d21-9f3e-2b8a5c1d0e77");

ThreadRecords recordsFor(const QStringList& paths)
{
    ThreadRecords records;
    for (const QString& path : paths)
        records.push_back({QStringLiteral("id"), path, QStringLiteral("openai")});
    return records;
}

QList<QByteArray> linesOf(const QByteArray& content) { return content.split('\n'); }

} // namespace

TEST(RolloutRewrite, ChangesOnlyTheMetadataLineAndKeepsEveryOtherByte)
{
    TempHome temp;
    const QByteArray original = rolloutContent(id, RolloutShape{.approximateSize = 200'000});
    temp.write(QStringLiteral("a.jsonl"), original);

    Error error;
    EXPECT_EQ(rewriteSessionMetaForThreads(recordsFor({temp.path("a.jsonl")}), "tevrun", &error), 1);

    const QByteArray rewritten = temp.read(QStringLiteral("a.jsonl"));
    const QList<QByteArray> before = linesOf(original);
    const QList<QByteArray> after = linesOf(rewritten);
    ASSERT_EQ(before.size(), after.size());
    EXPECT_EQ(after[0], sessionMetaLine(id, "tevrun"));
    for (qsizetype i = 1; i < before.size(); ++i)
        EXPECT_EQ(before[i], after[i]) << "line " << i;
    EXPECT_TRUE(rewritten.endsWith('\n'));
}

TEST(RolloutRewrite, AFileAlreadyOnTheTargetIsNotWritten)
{
    TempHome temp;
    temp.write(QStringLiteral("a.jsonl"), rolloutContent(id, RolloutShape{}));
    const QDateTime old = QDateTime::fromSecsSinceEpoch(1'600'000'000);
    setModificationTime(temp.path("a.jsonl"), old);

    EXPECT_EQ(rewriteSessionMetaForThreads(recordsFor({temp.path("a.jsonl")}), "openai"), 0);
    EXPECT_EQ(modificationTime(temp.path("a.jsonl")), old);
}

TEST(RolloutRewrite, HandlesEveryMetadataLineAndOnlyRealOnes)
{
    const QByteArray content =
        "{\"type\":\"session_meta\",\"payload\":{\"id\":\"x\"}}\n"                                    // no provider: added
        "{\"type\":\"session_meta\",\"payload\":\"text\"}\n"                                          // payload not an object
        "{\"type\":\"session_meta\",\"payload\":{\"model_provider\":7}}\n"                            // not a string: replaced
        "{\"type\":\"event_msg\",\"payload\":{\"model_provider\":\"openai\",\"t\":\"session_meta\"}}\n" // other type
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

TEST(RolloutRewrite, KeepsTheAbsenceOfAFinalLineFeed)
{
    RolloutShape shape;
    shape.finalLineFeed = false;
    const QByteArray content = rolloutContent(id, shape);
    const std::optional<QByteArray> result = rewrittenRollout(content, QStringLiteral("tevrun"));
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->endsWith('\n'));
    EXPECT_EQ(result->mid(result->indexOf('\n')), content.mid(content.indexOf('\n')));
}

TEST(RolloutRewrite, SkipsEmptyAndMissingPathsAndStopsAtInvalidUtf8)
{
    TempHome temp;
    temp.write(QStringLiteral("first.jsonl"), rolloutContent(id, RolloutShape{}));
    temp.write(QStringLiteral("broken.jsonl"), sessionMetaLine(id, "openai") + "\n{\"x\":\"\xff\xfe\"}\n");
    temp.write(QStringLiteral("last.jsonl"), rolloutContent(id, RolloutShape{}));
    const QByteArray lastBefore = temp.read("last.jsonl");

    Error error;
    const qint64 result = rewriteSessionMetaForThreads(
        recordsFor({QString(), temp.path("gone.jsonl"), temp.path("first.jsonl"), temp.path("broken.jsonl"),
                    temp.path("last.jsonl")}),
        "tevrun", &error);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(error.message, QStringLiteral("无法读取“broken.jsonl”：内容不是有效的 UTF-8 文本。"));
    EXPECT_TRUE(temp.read("first.jsonl").startsWith(sessionMetaLine(id, "tevrun")));
    EXPECT_TRUE(temp.read("broken.jsonl").startsWith(sessionMetaLine(id, "openai")));
    EXPECT_EQ(temp.read("last.jsonl"), lastBefore);

    EXPECT_EQ(rewriteSessionMetaForThreads(recordsFor({QString(), temp.path("gone.jsonl")}), "tevrun"), 0);
}

TEST(RolloutRewrite, LargeFilesWithLongLinesChangeOnlyTheirMetadata)
{
    TempHome temp;
    RolloutShape shape;
    shape.approximateSize = 24 << 20;
    shape.metadataLines = 2;
    const QByteArray original = rolloutContent(id, shape);
    temp.write(QStringLiteral("big.jsonl"), original);

    EXPECT_EQ(rewriteSessionMetaForThreads(recordsFor({temp.path("big.jsonl")}), "tevrun"), 1);
    const QByteArray rewritten = temp.read("big.jsonl");
    const qsizetype metaSize = 2 * (sessionMetaLine(id, "openai").size() + 1);
    EXPECT_EQ(rewritten.left(metaSize), sessionMetaLine(id, "tevrun") + '\n' + sessionMetaLine(id, "tevrun") + '\n');
    EXPECT_TRUE(rewritten.mid(metaSize) == original.mid(metaSize));
}
