#include "tests/support/TreeBuilder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

QByteArray enc(const QString& p)
{
    return QFile::encodeName(p);
}

} // namespace

bool TreeBuilder::writeFile(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray block = QCryptographicHash::hash(enc(path), QCryptographicHash::Sha256).repeated(2048);
    for (qint64 left = size; left > 0; left -= block.size()) {
        if (file.write(block.constData(), std::min<qint64>(left, block.size())) < 0)
            return false;
    }
    return file.flush();
}

bool TreeBuilder::build(const QString& root, const QString& description)
{
    QList<QPair<QString, qint64>> times;
    for (QString line : description.split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        const QStringList w = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QString path = root + QLatin1Char('/') + w.value(1);
        QDir().mkpath(QFileInfo(path).path());
        bool ok = true;
        const QChar kind = w[0][0];
        if (kind == QLatin1Char('d')) {
            ok = QDir().mkpath(path);
            if (w.size() > 2)
                ok = ok && chmod(enc(path).constData(), w[2].toUInt(nullptr, 8)) == 0;
        } else if (kind == QLatin1Char('f')) {
            ok = writeFile(path, w.value(2).toLongLong());
            if (w.size() > 3)
                ok = ok && chmod(enc(path).constData(), w[3].toUInt(nullptr, 8)) == 0;
        } else if (kind == QLatin1Char('l')) {
            ok = symlink(enc(w.value(3)).constData(), enc(path).constData()) == 0;
        } else if (kind == QLatin1Char('h')) {
            ok = link(enc(root + QLatin1Char('/') + w.value(3)).constData(), enc(path).constData()) == 0;
        } else if (kind == QLatin1Char('p')) {
            ok = mkfifo(enc(path).constData(), 0640) == 0;
        } else if (kind == QLatin1Char('x')) {
            const QString pair = w.value(2);
            const QByteArray name = pair.section(QLatin1Char('='), 0, 0).toUtf8();
            const QByteArray value = pair.section(QLatin1Char('='), 1).toUtf8();
            ok = lsetxattr(enc(path).constData(), name.constData(), value.constData(), size_t(value.size()),
                           0) == 0;
        } else if (kind == QLatin1Char('t')) {
            times.append({path, w.value(2).toLongLong()});
        }
        if (!ok) {
            qWarning("Cannot build %s: %s", qPrintable(line), strerror(errno));
            return false;
        }
    }
    for (const auto& [path, seconds] : times) {
        const struct timespec ts[2] = {{time_t(seconds), 0}, {time_t(seconds), 0}};
        utimensat(AT_FDCWD, enc(path).constData(), ts, AT_SYMLINK_NOFOLLOW);
    }
    return true;
}

QStringList TreeBuilder::fingerprint(const QString& root)
{
    QStringList out;
    QStringList paths{root};
    struct stat top;
    // A link is fingerprinted as the link, never what it points to.
    if (lstat(enc(root).constData(), &top) == 0 && !S_ISLNK(top.st_mode)) {
        QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            paths.append(it.next());
    }
    for (const QString& path : paths) {
        struct stat st;
        if (lstat(enc(path).constData(), &st) != 0)
            continue;
        QString line = QStringLiteral("%1 mode=%2").arg(path.mid(root.size())).arg(st.st_mode, 0, 8);
        if (S_ISREG(st.st_mode)) {
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            line +=
                QStringLiteral(" size=%1 sha=%2")
                    .arg(st.st_size)
                    .arg(QString::fromLatin1(
                        QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1).toHex().left(12)));
            line += QStringLiteral(" links=%1").arg(st.st_nlink);
        } else if (S_ISLNK(st.st_mode)) {
            char target[4096];
            const ssize_t n = readlink(enc(path).constData(), target, sizeof target);
            line += QStringLiteral(" -> ") + QString::fromLocal8Bit(target, n > 0 ? n : 0);
        }
        if (!S_ISDIR(st.st_mode) || path != root)
            line += QStringLiteral(" mtime=%1").arg(qint64(st.st_mtim.tv_sec));
        if (!S_ISLNK(st.st_mode)) {
            char names[4096];
            const ssize_t len = llistxattr(enc(path).constData(), names, sizeof names);
            QStringList attrs;
            for (ssize_t i = 0; i < len; i += ssize_t(strlen(names + i)) + 1) {
                if (strncmp(names + i, "user.", 5) != 0)
                    continue;
                char value[1024];
                const ssize_t v = lgetxattr(enc(path).constData(), names + i, value, sizeof value);
                attrs.append(QStringLiteral("%1=%2").arg(QLatin1String(names + i),
                                                         QString::fromUtf8(value, v > 0 ? v : 0)));
            }
            attrs.sort();
            if (!attrs.isEmpty())
                line += QStringLiteral(" xattr=") + attrs.join(QLatin1Char(','));
        }
        out.append(line);
    }
    out.sort();
    return out;
}

QString TreeBuilder::makeSharedTempDir()
{
    QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/zv-shared.XXXXXX";
    if (!mkdtemp(pattern.data()))
        return QString();
    chmod(pattern.constData(), 0777);
    return QString::fromLocal8Bit(pattern);
}

UnprivilegedScope::UnprivilegedScope()
{
    if (geteuid() != 0)
        return;
    m_savedUid = geteuid();
    m_savedGid = getegid();
    m_ok = setegid(65534) == 0 && seteuid(65534) == 0;
    m_switched = m_ok;
}

UnprivilegedScope::~UnprivilegedScope()
{
    if (!m_switched)
        return;
    if (seteuid(m_savedUid) != 0 || setegid(m_savedGid) != 0)
        qFatal("Cannot return to the original user");
}

TestVault::TestVault(const QString& baseFolder)
{
    m_cipher = baseFolder + QStringLiteral("/cipher");
    m_mountPoint = baseFolder + QStringLiteral("/mount");
    QDir().mkpath(m_cipher);
    QDir().mkpath(m_mountPoint);
    QProcess init;
    init.start(QStringLiteral("gocryptfs"), {QStringLiteral("-q"), QStringLiteral("-init"),
                                             QStringLiteral("-scryptn"), QStringLiteral("10"), m_cipher});
    init.write("vault-password\n");
    init.closeWriteChannel();
    if (!init.waitForFinished(30000) || init.exitCode() != 0)
        return;
    QProcess mount;
    mount.start(QStringLiteral("gocryptfs"), {QStringLiteral("-q"), m_cipher, m_mountPoint});
    mount.write("vault-password\n");
    mount.closeWriteChannel();
    m_mounted = mount.waitForFinished(30000) && mount.exitCode() == 0;
}

QString TestVault::folderFor(bool inVault, const QString& plainFolder, std::unique_ptr<TestVault>* vault)
{
    if (!inVault)
        return QDir().mkpath(plainFolder) ? plainFolder : QString();
    *vault = std::make_unique<TestVault>(plainFolder + QStringLiteral("-vault"));
    return (*vault)->isMounted() ? (*vault)->mountPoint() : QString();
}

TestVault::~TestVault()
{
    if (m_mounted)
        QProcess::execute(QStringLiteral("fusermount3"), {QStringLiteral("-u"), m_mountPoint});
}
