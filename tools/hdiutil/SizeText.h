#pragma once

#include <QString>
#include <optional>

// Sizes as callers write them: a number, optionally with decimals, and a unit of bytes (b),
// kilo-, mega-, giga- or terabytes (k, m, g, t, each optionally followed by b), powers of 1024.
// "20G", "4.2G", "570M", "500MB", "35.2GB", "2GB".
class SizeText
{
public:
    static std::optional<qint64> parse(const QString& text);
    static QString format(qint64 bytes); // "20.0 GB", for messages
};
