// Stands in for the disk-image tool in runner tests. It reads its standard input to the end,
// appends one JSON line {"args": [...], "stdin": base64} to $ZV_FAKE_TOOL_LOG, then plays the
// reply scripted for its first argument in the JSON object in $ZV_FAKE_TOOL_SCRIPT:
//   {"<command>": {"exit": N, "steps": [{"out": text} | {"outBase64": b64} | {"err": text}
//                  | {"fillOut": bytes} | {"fillErr": bytes} | {"sleepMs": ms}]}, "*": {...}}
// A watchdog ends it after 20 s, so a runner that never closes its input fails instead of hanging.
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <unistd.h>

namespace {

void writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            return;
        done += n;
    }
}

QByteArray filler(qint64 bytes)
{
    const QByteArray line = "hdiutil: filler line to fill a pipe well past its buffer\n";
    QByteArray out;
    out.reserve(bytes);
    while (out.size() < bytes)
        out.append(line);
    return out.left(bytes);
}

} // namespace

int main(int argc, char* argv[])
{
    ::alarm(20);
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();

    QByteArray input;
    char buffer[4096];
    for (ssize_t n; (n = ::read(0, buffer, sizeof buffer)) > 0;)
        input.append(buffer, n);

    QFile log(qEnvironmentVariable("ZV_FAKE_TOOL_LOG"));
    if (!log.fileName().isEmpty() && log.open(QIODevice::Append)) {
        const QJsonObject record{{"args", QJsonArray::fromStringList(args)},
                                 {"stdin", QString::fromLatin1(input.toBase64())}};
        log.write(QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n');
        log.close();
    }

    QFile scriptFile(qEnvironmentVariable("ZV_FAKE_TOOL_SCRIPT"));
    QJsonObject script;
    if (scriptFile.open(QIODevice::ReadOnly))
        script = QJsonDocument::fromJson(scriptFile.readAll()).object();
    const QString command = args.value(0);
    const QJsonObject reply = script.value(command).toObject(script.value(QStringLiteral("*")).toObject());

    for (const QJsonValue& stepValue : reply.value(QStringLiteral("steps")).toArray()) {
        const QJsonObject step = stepValue.toObject();
        if (step.contains(QStringLiteral("out")))
            writeAll(1, step.value(QStringLiteral("out")).toString().toUtf8());
        if (step.contains(QStringLiteral("outBase64")))
            writeAll(1,
                     QByteArray::fromBase64(step.value(QStringLiteral("outBase64")).toString().toLatin1()));
        if (step.contains(QStringLiteral("err")))
            writeAll(2, step.value(QStringLiteral("err")).toString().toUtf8());
        if (step.contains(QStringLiteral("fillOut")))
            writeAll(1, filler(step.value(QStringLiteral("fillOut")).toInteger()));
        if (step.contains(QStringLiteral("fillErr")))
            writeAll(2, filler(step.value(QStringLiteral("fillErr")).toInteger()));
        if (step.contains(QStringLiteral("sleepMs")))
            QThread::msleep(step.value(QStringLiteral("sleepMs")).toInt());
    }
    return reply.value(QStringLiteral("exit")).toInt(0);
}
