#include "codexapp/info_plist.h"

#include <gtest/gtest.h>

// By Python's plistlib in Apple's binary form: the Codex app's keys (a long identifier, a nested
// dict with an array), an identifier in UTF-16, and a plist without one.
const QByteArray codexBinary = QByteArray::fromHex(
    "62706c6973743030d6010203040506070b0c0d0e0f5f1015434642756e646c65446f63756d656e7454797065735f1012434642756e646c65"
    "4964656e7469666965725c434642756e646c654e616d655f100f434642756e646c6556657273696f6e5f10164c534d696e696d756d5379"
    "7374656d56657273696f6e5f10174e53486967685265736f6c7574696f6e43617061626c65a108d1090a5f1010434642756e646c6554"
    "7970654e616d6551785f1010636f6d2e6f70656e61692e636f64657855436f64657853312e325431332e300908152d424f617a949699"
    "acaec1c7cbd000000000000001010000000000000010000000000000000000000000000000d1");
const QByteArray utf16Binary = QByteArray::fromHex(
    "62706c6973743030d20102030451415f1012434642756e646c654964656e74696669657210016e0063006c006f00750064002e0074006500"
    "7600720075006e002e58a8080d0f24260000000000000101000000000000000500000000000000000000000000000043");
const QByteArray otherBinary = QByteArray::fromHex(
    "62706c6973743030d10102554f746865725178080b110000000000000101000000000000000300000000000000000000000000000013");

TEST(InfoPlist, ReadsTheBundleIdentifierInEitherForm)
{
    const QByteArray xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict><key>CFBundleDocumentTypes</key>
	<array><dict><key>CFBundleIdentifier</key><string>nested.not.this</string></dict></array>
	<key>CFBundleIdentifier</key><string>com.openai.codex</string></dict></plist>)";
    const struct {
        QByteArray plist;
        std::optional<QString> identifier;
    } cases[] = {
        {xml, QStringLiteral("com.openai.codex")},
        {codexBinary, QStringLiteral("com.openai.codex")},
        {utf16Binary, QStringLiteral("cloud.tevrun.墨")},
        {otherBinary, std::nullopt},
        {"<plist><dict><key>CFBundleIdentifier</key><integer>5</integer></dict></plist>", std::nullopt},
        {"<plist><dict><key>Name</key><string>CFBundleIdentifier</string></dict></plist>", std::nullopt},
        {codexBinary.left(codexBinary.size() - 8) + QByteArray(8, '\xff'), std::nullopt}, // offsets past the end
        {codexBinary.left(60), std::nullopt},
        {QByteArray(codexBinary).replace(QByteArray::fromHex("5f1010636f6d"), QByteArray::fromHex("5f5010636f6d")),
         std::nullopt}, // the identifier's count is no integer
        {QByteArray(codexBinary).replace(QByteArray::fromHex("5f1010636f6d"), QByteArray::fromHex("1f1010636f6d")),
         std::nullopt}, // the identifier is no string
        {"bplist00", std::nullopt},
        {"not a plist", std::nullopt},
        {QByteArray(), std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(bundleIdentifierFromInfoPlist(c.plist), c.identifier) << c.plist.left(40).toStdString();
}
