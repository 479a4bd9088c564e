#include "core/settings/PropertyList.h"

#include <QDateTime>
#include <QStringList>
#include <QTimeZone>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <plist/plist.h>

namespace {

// libplist counts dates from 2001-01-01 00:00:00 UTC.
constexpr qint64 kPlistEpochOffset = 978307200;

struct PlistFree
{
    void operator()(plist_t p) const { plist_free(p); }
};
using PlistPtr = std::unique_ptr<std::remove_pointer_t<plist_t>, PlistFree>;

plist_t toNode(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Bool:
        return plist_new_bool(v.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return plist_new_uint(static_cast<uint64_t>(v.toLongLong()));
    case QMetaType::Double:
    case QMetaType::Float:
        return plist_new_real(v.toDouble());
    case QMetaType::QDateTime: {
        const qint64 ms = v.toDateTime().toMSecsSinceEpoch() - kPlistEpochOffset * 1000;
        const qint64 sec = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
        return plist_new_date(static_cast<int32_t>(sec), static_cast<int32_t>((ms - sec * 1000) * 1000));
    }
    case QMetaType::QByteArray: {
        const QByteArray b = v.toByteArray();
        return plist_new_data(b.constData(), static_cast<uint64_t>(b.size()));
    }
    case QMetaType::QVariantMap: {
        plist_t dict = plist_new_dict();
        const QVariantMap map = v.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            plist_dict_set_item(dict, it.key().toUtf8().constData(), toNode(it.value()));
        return dict;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        plist_t array = plist_new_array();
        for (const QVariant& item : v.toList())
            plist_array_append_item(array, toNode(item));
        return array;
    }
    default:
        return plist_new_string(v.toString().toUtf8().constData());
    }
}

// The library aborts the whole program when it hands out a key or a string holding a zero byte
// (an XML file with one, a binary file with a UTF-16 U+0000). Its XML form writes such a byte as
// it is, so a tree whose XML form holds one is refused before anything is read from it.
bool holdsZeroByte(plist_t root)
{
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root, &xml, &length);
    const bool zero = !xml || std::memchr(xml, 0, length);
    plist_to_xml_free(xml);
    return zero;
}

// Sets *malformed for a node no well-formed property list holds; strings are read with their
// length, so one holding a zero byte is refused rather than cut short.
QVariant fromNode(plist_t node, bool* malformed)
{
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return bool(b);
    }
    case PLIST_UINT: {
        uint64_t u = 0;
        plist_get_uint_val(node, &u);
        return static_cast<qint64>(u);
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return d;
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        uint64_t length = 0;
        const char* s = plist_get_string_ptr(node, &length);
        if (!s || std::memchr(s, 0, length)) {
            *malformed = true;
            return {};
        }
        return QString::fromUtf8(s, qsizetype(length));
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return QDateTime::fromMSecsSinceEpoch((qint64(sec) + kPlistEpochOffset) * 1000 + usec / 1000,
                                              QTimeZone::utc());
    }
    case PLIST_DATA: {
        char* data = nullptr;
        uint64_t len = 0;
        plist_get_data_val(node, &data, &len);
        const QByteArray result(data, static_cast<qsizetype>(len));
        std::free(data);
        return result;
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t n = plist_array_get_size(node);
        for (uint32_t i = 0; i < n; ++i)
            list.append(fromNode(plist_array_get_item(node, i), malformed));
        return list;
    }
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter iter = nullptr;
        plist_dict_new_iter(node, &iter);
        while (iter) {
            char* key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, iter, &key, &value);
            if (!key)
                break;
            map.insert(QString::fromUtf8(key), fromNode(value, malformed));
            std::free(key);
        }
        std::free(iter);
        return map;
    }
    default:
        return {};
    }
}

} // namespace

QByteArray PropertyList::toXml(const QVariant& value)
{
    PlistPtr root(toNode(value));
    char* xml = nullptr;
    uint32_t len = 0;
    plist_to_xml(root.get(), &xml, &len);
    const QByteArray result(xml, static_cast<qsizetype>(len));
    plist_to_xml_free(xml);
    return result;
}

std::optional<QVariant> PropertyList::fromData(const QByteArray& data)
{
    if (data.isEmpty() || data.size() > std::numeric_limits<uint32_t>::max())
        return std::nullopt;
    plist_t raw = nullptr;
    plist_from_memory(data.constData(), static_cast<uint32_t>(data.size()), &raw);
    if (!raw)
        return std::nullopt;
    PlistPtr root(raw);
    if (holdsZeroByte(root.get()))
        return std::nullopt;
    bool malformed = false;
    QVariant value = fromNode(root.get(), &malformed);
    if (malformed)
        return std::nullopt;
    return value;
}
