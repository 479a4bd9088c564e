#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <optional>

// Splits one output stream of the disk-image tool into messages: single lines, or whole XML
// property lists (from "<?xml" up to and including "</plist>"). Chunks arrive as the pipe
// delivers them, so a message may span chunks and a chunk may hold several messages.
class ToolMessageStream
{
public:
    ToolMessageStream();

    // Appends newData (when not empty) and returns the next complete message, or nullopt
    // when the buffer holds none yet. Call again with empty data to take further messages.
    // A chunk that is not valid UTF-8 is dropped whole; a character cut at a chunk's end is
    // completed by the next chunk.
    std::optional<QString> parseNextMessage(const QByteArray& newData = {});

    // Unconsumed text.
    const QString& buffer() const { return m_buffer; }
    void clear();

private:
    QStringDecoder m_decoder;
    QString m_buffer;
};
