#include "core/vault/ToolMessageStream.h"

#include "core/system/Logging.h"

namespace {

const QString kXmlStart = QStringLiteral("<?xml");
const QString kPlistEnd = QStringLiteral("</plist>\n");
const QString kLineEnd = QStringLiteral("\n");

} // namespace

ToolMessageStream::ToolMessageStream() : m_decoder(QStringDecoder::Utf8) {}

void ToolMessageStream::clear()
{
    m_buffer.clear();
    m_decoder.resetState();
}

std::optional<QString> ToolMessageStream::parseNextMessage(const QByteArray& newData)
{
    if (!newData.isEmpty()) {
        const QString text = m_decoder.decode(newData);
        if (m_decoder.hasError()) {
            qCDebug(lcDiskImage) << "dropped an output chunk that is not UTF-8," << newData.size() << "bytes";
            m_decoder.resetState();
        } else {
            m_buffer.append(text);
        }
    }

    const QString& terminator = m_buffer.startsWith(kXmlStart) ? kPlistEnd : kLineEnd;
    const qsizetype at = m_buffer.indexOf(terminator);
    if (at < 0)
        return std::nullopt;
    // The message ends where the terminator's line feed begins.
    const qsizetype length = at + terminator.size() - 1;
    QString message = m_buffer.left(length);
    m_buffer.remove(0, length + 1);
    return message;
}
