#include "codexapp/info_plist.h"

#include <QFileInfo>
#include <QXmlStreamReader>

namespace {

const QString identifierKey = QStringLiteral("CFBundleIdentifier");

std::optional<QString> fromXml(const QByteArray& plist)
{
    QXmlStreamReader xml(plist);
    int depth = 0;
    bool identifierNext = false;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement) {
            --depth;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        ++depth;
        // <plist><dict><key>…</key><string>…</string>: only the top dict's members count.
        if (depth != 3)
            continue;
        const QStringView name = xml.name();
        const bool isString = name == QLatin1String("string");
        const QString text = xml.readElementText(QXmlStreamReader::SkipChildElements);
        --depth;
        if (identifierNext)
            return isString ? std::optional(text) : std::nullopt;
        identifierNext = name == QLatin1String("key") && text == identifierKey;
    }
    return std::nullopt;
}

// Apple's binary property list: objects addressed through an offset table that the
// 32-byte trailer describes.
class BinaryPlist {
public:
    explicit BinaryPlist(const QByteArray& data) : m_data(data) {}

    std::optional<QString> bundleIdentifier()
    {
        if (m_data.size() < 40 || !m_data.startsWith("bplist00"))
            return std::nullopt;
        const qsizetype trailer = m_data.size() - 32;
        m_offsetSize = int(byte(trailer + 6));
        m_referenceSize = int(byte(trailer + 7));
        m_objectCount = number(trailer + 8, 8);
        m_offsetTable = number(trailer + 24, 8);
        const std::optional<quint64> top = number(trailer + 16, 8);
        if (!top || !m_objectCount || !m_offsetTable || m_offsetSize < 1 || m_offsetSize > 8 || m_referenceSize < 1
            || m_referenceSize > 8)
            return std::nullopt;
        const std::optional<qsizetype> dict = objectAt(*top);
        if (!dict || (byte(*dict) >> 4) != 0xD)
            return std::nullopt;
        qsizetype first = 0;
        const std::optional<quint64> count = length(*dict, &first);
        if (!count)
            return std::nullopt;
        for (quint64 i = 0; i < *count; ++i) {
            const std::optional<quint64> key = number(first + qsizetype(i) * m_referenceSize, m_referenceSize);
            if (!key || string(*key) != identifierKey)
                continue;
            const std::optional<quint64> value =
                number(first + qsizetype(*count + i) * m_referenceSize, m_referenceSize);
            return value ? string(*value) : std::nullopt;
        }
        return std::nullopt;
    }

private:
    quint8 byte(qsizetype at) const { return at >= 0 && at < m_data.size() ? quint8(m_data[at]) : 0; }

    // A big-endian unsigned number of size bytes, when it lies inside the data.
    std::optional<quint64> number(qsizetype at, int size) const
    {
        if (at < 0 || size < 1 || size > 8 || at + size > m_data.size())
            return std::nullopt;
        quint64 value = 0;
        for (int i = 0; i < size; ++i)
            value = (value << 8) | byte(at + i);
        return value;
    }

    std::optional<qsizetype> objectAt(quint64 index) const
    {
        if (!m_objectCount || index >= *m_objectCount)
            return std::nullopt;
        const std::optional<quint64> offset = number(qsizetype(*m_offsetTable + index * quint64(m_offsetSize)), m_offsetSize);
        if (!offset || *offset >= quint64(m_data.size()))
            return std::nullopt;
        return qsizetype(*offset);
    }

    // The count in a marker's low nibble, or in the integer that follows it when that is 0xF.
    std::optional<quint64> length(qsizetype marker, qsizetype* contents) const
    {
        const int nibble = byte(marker) & 0x0F;
        if (nibble != 0x0F) {
            *contents = marker + 1;
            return quint64(nibble);
        }
        const quint8 integer = byte(marker + 1);
        if ((integer >> 4) != 0x1 || (integer & 0x0F) > 3)
            return std::nullopt;
        const int size = 1 << (integer & 0x0F);
        *contents = marker + 2 + size;
        return number(marker + 2, size);
    }

    std::optional<QString> string(quint64 index) const
    {
        const std::optional<qsizetype> at = objectAt(index);
        if (!at)
            return std::nullopt;
        const int kind = byte(*at) >> 4;
        qsizetype contents = 0;
        const std::optional<quint64> count = length(*at, &contents);
        if (!count || (kind != 0x5 && kind != 0x6))
            return std::nullopt;
        const quint64 bytes = kind == 0x5 ? *count : *count * 2;
        if (contents + qsizetype(bytes) > m_data.size())
            return std::nullopt;
        if (kind == 0x5)
            return QString::fromLatin1(m_data.constData() + contents, qsizetype(bytes));
        QString text;
        for (quint64 i = 0; i < *count; ++i)
            text.append(QChar(char16_t(*number(contents + qsizetype(i) * 2, 2))));
        return text;
    }

    const QByteArray& m_data;
    int m_offsetSize = 0;
    int m_referenceSize = 0;
    std::optional<quint64> m_objectCount;
    std::optional<quint64> m_offsetTable;
};

} // namespace

std::optional<QString> bundleIdentifierFromInfoPlist(const QByteArray& plist)
{
    if (plist.startsWith("bplist"))
    {
        BinaryPlist binary(plist);
        return binary.bundleIdentifier();
    }
    return fromXml(plist);
}

QString bundlePathForExecutable(const QString& executablePath)
{
    const QString macOSDirectory = QFileInfo(executablePath).path();
    if (!macOSDirectory.endsWith(QLatin1String("/Contents/MacOS")))
        return QString();
    return macOSDirectory.chopped(int(sizeof("/Contents/MacOS") - 1));
}
