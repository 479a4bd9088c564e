#include "core/catalogue/NSDataBase64.h"

QByteArray NSDataBase64::dataFromBase64String(const QString& text)
{
    // Decoding stops at the first padding character; anything outside the alphabet is skipped.
    QByteArray alphabetOnly;
    alphabetOnly.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'=')
            break;
        if ((u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') || u == u'+' ||
            u == u'/')
            alphabetOnly.append(char(u));
    }
    // A single leftover character carries fewer than 8 bits and is dropped.
    if (alphabetOnly.size() % 4 == 1)
        alphabetOnly.chop(1);
    return QByteArray::fromBase64(alphabetOnly);
}

QString NSDataBase64::base64EncodedString(const QByteArray& data)
{
    return base64EncodedStringWithSeparateLines(data, true);
}

QString NSDataBase64::base64EncodedStringWithSeparateLines(const QByteArray& data, bool separateLines)
{
    if (!separateLines)
        return QString::fromLatin1(data.toBase64());
    // Lines of 64 characters: 48 input bytes each, every full line ended by CR LF.
    constexpr qsizetype kLineBytes = 48;
    QByteArray out;
    out.reserve((data.size() + 2) / 3 * 4 + data.size() / kLineBytes * 2);
    for (qsizetype i = 0; i < data.size(); i += kLineBytes) {
        const QByteArray chunk = data.mid(i, kLineBytes);
        out.append(chunk.toBase64());
        if (chunk.size() == kLineBytes)
            out.append("\r\n");
    }
    return QString::fromLatin1(out);
}
