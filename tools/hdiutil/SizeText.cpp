#include "tools/hdiutil/SizeText.h"

#include <QRegularExpression>
#include <cmath>
#include <limits>

std::optional<qint64> SizeText::parse(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,15})(?:\\.(\\d{1,9}))?([bkmgt])?b?$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const QString unit = m.captured(3).toLower();
    int shift = 0;
    if (unit == QStringLiteral("k"))
        shift = 10;
    else if (unit == QStringLiteral("m"))
        shift = 20;
    else if (unit == QStringLiteral("g"))
        shift = 30;
    else if (unit == QStringLiteral("t"))
        shift = 40;
    const long double value =
        m.captured(1).toDouble() +
        (m.captured(2).isEmpty() ? 0.0L : (QStringLiteral("0.") + m.captured(2)).toDouble());
    const long double bytes = std::floor(std::ldexp(value, shift));
    if (bytes < 1 || bytes > static_cast<long double>(std::numeric_limits<qint64>::max() / 2))
        return std::nullopt;
    return static_cast<qint64>(bytes);
}

QString SizeText::format(qint64 bytes)
{
    static const char* units[] = {"bytes", "KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1024.0 && unit < 4) {
        value /= 1024.0;
        ++unit;
    }
    return unit == 0 ? QStringLiteral("%1 bytes").arg(bytes)
                     : QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(units[unit]));
}
