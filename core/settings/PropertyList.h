#pragma once

#include <QByteArray>
#include <QVariant>
#include <optional>

// Conversion between QVariant trees and XML property lists (libplist).
// Dictionaries are QVariantMap, arrays QVariantList, strings QString, booleans bool,
// integers qint64, reals double, dates QDateTime (UTC) and data QByteArray.
class PropertyList
{
public:
    static QByteArray toXml(const QVariant& value);
    // Accepts XML and binary property lists; nullopt when the bytes are not one.
    static std::optional<QVariant> fromData(const QByteArray& data);
};
