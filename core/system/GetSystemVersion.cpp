#include "core/system/GetSystemVersion.h"

#include "core/settings/PropertyList.h"

#include <QFile>
#include <QMutex>
#include <QStringList>

namespace {

QMutex g_mutex;
QString g_root;

// A part's leading digits as a number; what follows them ("1b3") is compared as text.
std::pair<qint64, QString> splitPart(const QString& part)
{
    qsizetype digits = 0;
    while (digits < part.size() && part[digits] >= u'0' && part[digits] <= u'9')
        ++digits;
    qint64 number = 0;
    for (qsizetype i = 0; i < digits && number < (qint64(1) << 56); ++i)
        number = number * 10 + (part[i].unicode() - u'0');
    return {number, part.mid(digits)};
}

} // namespace

QString GetSystemVersion::systemRoot()
{
    QMutexLocker lock(&g_mutex);
    return g_root.isEmpty() ? QStringLiteral("/") : g_root;
}

void GetSystemVersion::setSystemRoot(const QString& root)
{
    QMutexLocker lock(&g_mutex);
    g_root = root;
}

QString GetSystemVersion::versionFilePath()
{
    QString root = systemRoot();
    if (!root.endsWith(u'/'))
        root.append(u'/');
    return root + QStringLiteral("System/Library/CoreServices/SystemVersion.plist");
}

QString GetSystemVersion::GetMacStringVersion()
{
    QFile file(versionFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return kDefaultVersion;
    const auto plist = PropertyList::fromData(file.readAll());
    if (!plist || plist->typeId() != QMetaType::QVariantMap)
        return kDefaultVersion;
    const QVariant version = plist->toMap().value(QStringLiteral("ProductVersion"));
    if (version.typeId() != QMetaType::QString || version.toString().isEmpty())
        return kDefaultVersion;
    return version.toString();
}

int GetSystemVersion::compareVersions(const QString& a, const QString& b)
{
    const QStringList left = a.trimmed().split(u'.');
    const QStringList right = b.trimmed().split(u'.');
    for (qsizetype i = 0; i < std::max(left.size(), right.size()); ++i) {
        const auto [ln, lrest] = splitPart(left.value(i));
        const auto [rn, rrest] = splitPart(right.value(i));
        if (ln != rn)
            return ln < rn ? -1 : 1;
        if (const int c = lrest.compare(rrest); c != 0)
            return c < 0 ? -1 : 1;
    }
    return 0;
}

bool GetSystemVersion::isOlderThan(const QString& version)
{
    return compareVersions(GetMacStringVersion(), version) < 0;
}
