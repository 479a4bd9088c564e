#include "core/system/SecretWipe.h"

#include <cstring>

namespace {

template<typename Container> void overwriteIfLastHolder(Container& container)
{
    auto& d = container.data_ptr();
    if (!d.isMutable() || d.isShared())
        return;
    auto* begin = d.data() - d.freeSpaceAtBegin();
    ::explicit_bzero(begin, size_t(d.constAllocatedCapacity()) * sizeof(*begin));
}

} // namespace

void SecretWipe::wipe(QByteArray& bytes)
{
    overwriteIfLastHolder(bytes);
    bytes = QByteArray();
}

void SecretWipe::wipe(QString& text)
{
    overwriteIfLastHolder(text);
    text = QString();
}

void SecretWipe::wipe(std::optional<QString>& text)
{
    if (text)
        wipe(*text);
    text.reset();
}

void SecretWipe::wipe(std::optional<QByteArray>& bytes)
{
    if (bytes)
        wipe(*bytes);
    bytes.reset();
}
