#pragma once

#include <QByteArray>
#include <QString>

// Standard base-64 with "=" padding. With separate lines a CR LF pair follows every 64 output
// characters (48 input bytes).
class NSDataBase64
{
public:
    // Characters outside the alphabet (line breaks, spaces) are skipped.
    static QByteArray dataFromBase64String(const QString& text);
    static QString base64EncodedString(const QByteArray& data); // with separate lines
    static QString base64EncodedStringWithSeparateLines(const QByteArray& data, bool separateLines);
};
