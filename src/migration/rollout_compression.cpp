#include "migration/rollout_compression.h"

#include "core/files/file_errors.h"

#include <zstd.h>

namespace {

std::unexpected<Error> failed(const QString& operation, const QString& path, const char* reason)
{
    return std::unexpected(files::fileErrorWithReason(operation, path, QStringLiteral("zstd：%1").arg(QString::fromUtf8(reason))));
}

} // namespace

bool isCompressedRollout(const QString& path)
{
    return path.endsWith(QLatin1String(".zst"));
}

Expected<QByteArray> decompressedRollout(const QString& path, const QByteArray& bytes)
{
    const QString reading = QStringLiteral("读取");
    ZSTD_DStream* stream = ZSTD_createDStream();
    QByteArray text;
    ZSTD_inBuffer in{bytes.constData(), size_t(bytes.size()), 0};
    size_t result = 0;
    // A frame need not say how long its content is: read on until the input is used up.
    for (;;) {
        const qsizetype written = text.size();
        text.resize(written + qsizetype(ZSTD_DStreamOutSize()));
        ZSTD_outBuffer out{text.data() + written, size_t(text.size() - written), 0};
        result = ZSTD_decompressStream(stream, &out, &in);
        text.resize(written + qsizetype(out.pos));
        // Done, broken, or out of input in the middle of a frame (the output had room left).
        if (ZSTD_isError(result) || (in.pos == in.size && (result == 0 || out.pos < out.size)))
            break;
    }
    ZSTD_freeDStream(stream);
    if (ZSTD_isError(result))
        return failed(reading, path, ZSTD_getErrorName(result));
    if (bytes.isEmpty() || result != 0)
        return failed(reading, path, "truncated stream");
    return text;
}

Expected<QByteArray> compressedRollout(const QString& path, const QByteArray& text)
{
    QByteArray bytes(qsizetype(ZSTD_compressBound(size_t(text.size()))), Qt::Uninitialized);
    const size_t size = ZSTD_compress(bytes.data(), size_t(bytes.size()), text.constData(), size_t(text.size()), 3);
    if (ZSTD_isError(size))
        return failed(QStringLiteral("写入"), path, ZSTD_getErrorName(size));
    bytes.resize(qsizetype(size));
    return bytes;
}
