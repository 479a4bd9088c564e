#include "core/catalogue/CatalogueEntry.h"

#include <QFileInfo>

namespace {

QStringList alternatives(const QString& text)
{
    QStringList parts = text.split(u'|');
    parts.removeAll(QString());
    return parts;
}

} // namespace

CatalogueEntry CatalogueEntry::fromAttributes(const QVariantMap& a)
{
    const auto text = [&a](const char* key) {
        return a.value(QLatin1String(key)).toString();
    };
    return {text("name"),      text("processname"), text("libpath"), text("apppath"),
            text("issymlink"), text("isui"),        text("infor")};
}

QVariantMap CatalogueEntry::toAttributes() const
{
    return {{QStringLiteral("name"), name},           {QStringLiteral("processname"), processname},
            {QStringLiteral("libpath"), libpath},     {QStringLiteral("apppath"), apppath},
            {QStringLiteral("issymlink"), issymlink}, {QStringLiteral("isui"), isui},
            {QStringLiteral("infor"), infor}};
}

QStringList CatalogueEntry::processNames() const
{
    return alternatives(processname);
}

QStringList CatalogueEntry::appPaths() const
{
    return alternatives(apppath);
}

QString CatalogueEntry::existingAppPath() const
{
    for (const QString& path : appPaths()) {
        if (QFileInfo::exists(path))
            return path;
    }
    return {};
}

bool CatalogueEntry::matchesProcessName(const QString& processName) const
{
    if (processName.isEmpty())
        return false;
    for (const QString& candidate : processNames()) {
        if (candidate.compare(processName, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

int CatalogueEntry::intValue(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    qint64 value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > std::numeric_limits<int>::max())
            return negative ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
    }
    return int(negative ? -value : value);
}
