#include "tests/fault/GeneratedTree.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray enc(const QString& path)
{
    return QFile::encodeName(path);
}

const QStringList& names()
{
    static const QStringList list{
        QStringLiteral("Notes"),           QStringLiteral("café"),
        QStringLiteral("日本語のメモ"),    QStringLiteral("naïve résumé.txt"),
        QStringLiteral("Фотографии"),      QStringLiteral("emoji 🎵 song"),
        QStringLiteral("-leading dash"),   QStringLiteral("#hash & more"),
        QStringLiteral("a b  c"),          QStringLiteral("Ελληνικά"),
        QStringLiteral("mail.mbox"),       QStringLiteral(".hidden"),
        QStringLiteral("x").repeated(200),
    };
    return list;
}

qint64 pickSize(QRandomGenerator& random)
{
    const int roll = random.bounded(100);
    if (roll < 12)
        return 0;
    if (roll < 72)
        return random.bounded(1, 4096);
    if (roll < 96)
        return random.bounded(4096, 96 * 1024);
    return random.bounded(512 * 1024, 2 * 1024 * 1024);
}

unsigned pickFileMode(QRandomGenerator& random)
{
    static const unsigned modes[] = {0644, 0644, 0644, 0600, 0640, 0400, 0444, 0755, 0700};
    return modes[random.bounded(int(std::size(modes)))];
}

} // namespace

bool GeneratedTree::writeFile(const QString& path, qint64 size, QRandomGenerator& random)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    // Random blocks, repeated: cheap to make, and no two files share content by accident.
    QByteArray block(64 * 1024, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
    for (qint64 left = size; left > 0; left -= block.size()) {
        if (file.write(block.constData(), std::min<qint64>(left, block.size())) < 0)
            return false;
        block[0] = char(block[0] + 1);
    }
    return file.flush();
}

bool GeneratedTree::change(const QString& path)
{
    const int fd = ::open(enc(path).constData(), O_WRONLY | O_APPEND);
    if (fd < 0)
        return false;
    static const char more[] = "\nchanged while it was copied\n";
    const bool ok = ::write(fd, more, sizeof more - 1) == ssize_t(sizeof more - 1);
    ::close(fd);
    return ok;
}

bool GeneratedTree::build(const QString& root, QRandomGenerator& random, int files)
{
    if (!QDir().mkpath(root))
        return false;
    QStringList folders{QString()};
    QStringList made;
    QList<QPair<QString, unsigned>> folderModes;
    const auto fail = [](const QString& what) {
        qWarning("cannot build %s: %s", qPrintable(what), strerror(errno));
        return false;
    };
    for (int i = 0; i < files; ++i) {
        // A new folder now and then, nested below a random one.
        if (i % 12 == 0) {
            const QString parent = folders.at(random.bounded(int(folders.size())));
            const QString folder = parent + (parent.isEmpty() ? QString() : QStringLiteral("/")) +
                                   names().at(random.bounded(int(names().size()))).left(60) +
                                   QStringLiteral(" %1").arg(i);
            if (!QDir().mkpath(root + QLatin1Char('/') + folder))
                return fail(folder);
            folders.append(folder);
            if (random.bounded(6) == 0)
                folderModes.append({folder, random.bounded(2) ? 0555u : 0700u});
        }
        const QString folder = folders.at(random.bounded(int(folders.size())));
        const QString name = names().at(random.bounded(int(names().size()))) + QStringLiteral("-%1").arg(i);
        const QString relative = folder.isEmpty() ? name : folder + QLatin1Char('/') + name;
        const QString path = root + QLatin1Char('/') + relative;
        if (!writeFile(path, pickSize(random), random) ||
            ::chmod(enc(path).constData(), pickFileMode(random)) != 0)
            return fail(relative);
        made.append(relative);
    }
    // Links as users have them: to a sibling, up and across, to a folder, and one dangling.
    const QString first = made.first();
    const QString odd[][2] = {
        {QStringLiteral("link to first"), first},
        {QStringLiteral("link to a folder"), folders.last()},
        {QStringLiteral("dangling link"), QStringLiteral("gone/nowhere")},
        {QStringLiteral("absolute link"), QStringLiteral("/etc/hostname")},
    };
    for (const auto& [name, target] : odd)
        if (::symlink(enc(target).constData(), enc(root + QLatin1Char('/') + name).constData()) != 0)
            return fail(name);
    if (folders.size() > 1) {
        const QString deep = folders.last();
        const QString up = QStringLiteral("../").repeated(int(deep.count(QLatin1Char('/'))) + 1) + first;
        if (::symlink(enc(up).constData(),
                      enc(root + QLatin1Char('/') + deep + QStringLiteral("/up link")).constData()) != 0)
            return fail(up);
    }
    if (::link(enc(root + QLatin1Char('/') + made.last()).constData(),
               enc(root + QStringLiteral("/hard link")).constData()) != 0)
        return fail(QStringLiteral("hard link"));
    if (::mkfifo(enc(root + QStringLiteral("/pipe")).constData(), 0600) != 0)
        return fail(QStringLiteral("pipe"));
    if (!QDir().mkpath(root + QStringLiteral("/empty folder")))
        return fail(QStringLiteral("empty folder"));
    // Read-only folders last, deepest first, so their content could still be written.
    for (auto it = folderModes.crbegin(); it != folderModes.crend(); ++it)
        if (::chmod(enc(root + QLatin1Char('/') + it->first).constData(), it->second) != 0)
            return fail(it->first);
    return true;
}
