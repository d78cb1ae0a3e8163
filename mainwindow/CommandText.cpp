#include "CommandText.h"

#include "runner/Utf8ChunkDecoder.h"

namespace gv {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isEscapedByte(QStringView text, qsizetype i)
{
    const char16_t unit = text[i].unicode();
    if (unit < 0xDC80 || unit > 0xDCFF)
        return false;
    // The low half of a proper pair is a character, not an escaped byte.
    return i == 0 || !QChar::isHighSurrogate(text[i - 1].unicode());
}

} // namespace

QString commandTextFromBytes(std::string_view bytes)
{
    QString text;
    text.reserve(qsizetype(bytes.size()));
    size_t runStart = 0;
    size_t i = 0;
    const auto flushRun = [&] {
        if (i > runStart)
            text += QString::fromUtf8(bytes.data() + runStart, qsizetype(i - runStart));
    };
    while (i < bytes.size()) {
        const int length = validUtf8SequenceLength(bytes, i);
        if (length > 0) {
            i += size_t(length);
            continue;
        }
        flushRun();
        text += QChar(char16_t(kEscapeBase + static_cast<unsigned char>(bytes[i])));
        ++i;
        runStart = i;
    }
    flushRun();
    return text;
}

std::string commandBytesFromText(const QString& text)
{
    std::string bytes;
    bytes.reserve(size_t(text.size()));
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isEscapedByte(text, i))
            continue;
        bytes += QStringView(text).mid(runStart, i - runStart).toUtf8().toStdString();
        bytes += static_cast<char>(text[i].unicode() - kEscapeBase);
        runStart = i + 1;
    }
    bytes += QStringView(text).mid(runStart).toUtf8().toStdString();
    return bytes;
}

} // namespace gv
