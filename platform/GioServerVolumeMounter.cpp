#include "platform/GioServerVolumeMounter.h"

#include "core/system/Logging.h"
#include "core/system/SecretWipe.h"

#include <QProcess>

GioServerVolumeMounter::GioServerVolumeMounter(QString program, int timeoutMs)
    : m_program(std::move(program)), m_timeoutMs(timeoutMs)
{}

int GioServerVolumeMounter::mountServerVolume(const QString& url, const QString& user,
                                              const QString& password)
{
    m_lastError.clear();
    if (url.trimmed().isEmpty()) {
        m_lastError = QStringLiteral("No network share address is set.");
        return 1;
    }
    QStringList args{QStringLiteral("mount")};
    if (user.isEmpty())
        args << QStringLiteral("--anonymous");
    args << url;

    QProcess gio;
    gio.setProcessChannelMode(QProcess::MergedChannels);
    gio.start(m_program, args);
    if (!gio.waitForStarted()) {
        m_lastError = QStringLiteral("Cannot run %1: %2").arg(m_program, gio.errorString());
        qCWarning(lcPlatform).noquote() << m_lastError;
        return 1;
    }
    if (!user.isEmpty()) {
        // gio asks for the user, the domain (the default is kept) and the password, in turn.
        QByteArray secret = password.toUtf8();
        const SecretWipe::Guard wipeSecret(secret);
        const QByteArray name = user.toUtf8();
        QByteArray answers;
        answers.reserve(name.size() + secret.size() + 3);
        const SecretWipe::Guard wipeAnswers(answers);
        answers.append(name).append("\n\n").append(secret.constData(), secret.size()).append('\n');
        gio.write(answers);
    }
    gio.closeWriteChannel();
    if (!gio.waitForFinished(m_timeoutMs)) {
        gio.kill();
        gio.waitForFinished();
        m_lastError = QStringLiteral("Mounting %1 timed out.").arg(url);
        return 1;
    }
    QString output = QString::fromLocal8Bit(gio.readAll());
    // Its reply goes to the user and the log: a program that echoed its input must not put the
    // password there.
    if (!password.isEmpty())
        output.replace(password, QStringLiteral("********"));
    if (gio.exitStatus() == QProcess::NormalExit && gio.exitCode() == 0)
        return 0;
    // A share that is mounted already is what the caller wants.
    if (output.contains(QStringLiteral("already mounted"), Qt::CaseInsensitive))
        return 0;
    m_lastError =
        output.trimmed().isEmpty() ? QStringLiteral("Mounting %1 failed.").arg(url) : output.trimmed();
    qCWarning(lcPlatform).noquote() << "mounting" << url << "failed:" << m_lastError;
    return gio.exitCode() != 0 ? gio.exitCode() : 1;
}
