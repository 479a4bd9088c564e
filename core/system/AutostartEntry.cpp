#include "core/system/AutostartEntry.h"

#include "core/system/LoginItemMarker.h"

#include <QDir>
#include <QHash>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>
#include <algorithm>
#include <iterator>
#include <utility>

namespace {

const QString kGroup = QStringLiteral("[Desktop Entry]");

// Characters a value escapes with a backslash, and the letter that stands for each.
constexpr std::pair<char16_t, char16_t> kEscapes[] = {
    {u'\\', u'\\'}, {u'\n', u'n'}, {u'\t', u't'}, {u'\r', u'r'}};

bool isBlankOrComment(const QString& line)
{
    const QString t = line.trimmed();
    return t.isEmpty() || t.startsWith(u'#');
}

// The program an entry of another application runs, as a path where it can be found.
QString programPath(const QString& program)
{
    if (program.isEmpty() || QDir::isAbsolutePath(program))
        return QDir::cleanPath(program);
    const QString found = QStandardPaths::findExecutable(program);
    return found.isEmpty() ? program : found;
}

} // namespace

QString AutostartEntry::escapeValue(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        const auto* escape = std::find_if(std::begin(kEscapes), std::end(kEscapes),
                                          [c](const auto& e) { return e.first == c.unicode(); });
        if (escape != std::end(kEscapes)) {
            out += u'\\';
            out += QChar(escape->second);
        } else {
            out += c;
        }
    }
    // A leading blank would be read as part of the separator.
    if (out.startsWith(u' '))
        out.replace(0, 1, QStringLiteral("\\s"));
    return out;
}

std::optional<QString> AutostartEntry::unescapeValue(const QString& raw)
{
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] != u'\\') {
            out += raw[i];
            continue;
        }
        if (++i == raw.size())
            return std::nullopt;
        const char16_t letter = raw[i].unicode();
        const auto* escape = std::find_if(std::begin(kEscapes), std::end(kEscapes),
                                          [letter](const auto& e) { return e.second == letter; });
        if (letter == u's')
            out += u' ';
        else if (escape != std::end(kEscapes))
            out += QChar(escape->first);
        else
            out += QStringView(raw).mid(i - 1, 2); // an Exec quoting escape, left for it to read
    }
    return out;
}

QString AutostartEntry::execLine(const QStringList& arguments)
{
    QStringList quoted;
    for (const QString& argument : arguments) {
        QString q = QStringLiteral("\"");
        for (const QChar c : argument) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                q += u'\\';
            if (c == u'%')
                q += u'%';
            q += c;
        }
        q += u'"';
        quoted << q;
    }
    return quoted.join(u' ');
}

std::optional<QStringList> AutostartEntry::splitExec(const QString& execValue)
{
    QStringList arguments;
    QString current;
    bool inQuotes = false;
    bool haveArgument = false;
    for (qsizetype i = 0; i < execValue.size(); ++i) {
        const QChar c = execValue[i];
        if (inQuotes) {
            if (c == u'"') {
                inQuotes = false;
            } else if (c == u'\\') {
                if (++i == execValue.size())
                    return std::nullopt;
                current += execValue[i];
            } else if (c == u'%' && i + 1 < execValue.size() && execValue[i + 1] == u'%') {
                current += c;
                ++i;
            } else {
                current += c;
            }
        } else if (c == u' ' || c == u'\t') {
            if (haveArgument)
                arguments << current;
            current.clear();
            haveArgument = false;
        } else if (c == u'"') {
            inQuotes = true;
            haveArgument = true;
        } else if (c == u'%') {
            // A field code (%f, %u, …) expands to nothing here; %% is a percent sign.
            if (i + 1 < execValue.size() && execValue[i + 1] == u'%') {
                current += c;
                haveArgument = true;
            }
            ++i;
        } else {
            current += c;
            haveArgument = true;
        }
    }
    if (inQuotes)
        return std::nullopt;
    if (haveArgument)
        arguments << current;
    return arguments;
}

std::optional<AutostartEntry> AutostartEntry::parse(const QByteArray& content)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(content);
    if (decoder.hasError() || text.contains(QChar(0)))
        return std::nullopt;

    static const QRegularExpression keyLine(
        QStringLiteral("^([A-Za-z0-9-]+(\\[[^\\]=]+\\])?)[ \\t]*=[ \\t]*(.*)$"));
    QHash<QString, QString> keys;
    bool inMainGroup = false;
    bool seenGroup = false;
    for (const QString& rawLine : text.split(u'\n')) {
        QString line = rawLine;
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (isBlankOrComment(line))
            continue;
        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']') || line.size() < 3)
                return std::nullopt;
            // The main group comes first; later groups (actions) are not ours to read.
            if (!seenGroup && line != kGroup)
                return std::nullopt;
            inMainGroup = !seenGroup;
            seenGroup = true;
            continue;
        }
        if (!seenGroup)
            return std::nullopt;
        const QRegularExpressionMatch m = keyLine.match(line);
        if (!m.hasMatch())
            return std::nullopt;
        if (!inMainGroup)
            continue;
        if (keys.contains(m.captured(1)))
            return std::nullopt;
        keys.insert(m.captured(1), m.captured(3));
    }

    AutostartEntry entry;
    const auto name = unescapeValue(keys.value(QStringLiteral("Name")));
    const auto exec = unescapeValue(keys.value(QStringLiteral("Exec")));
    if (!name || name->isEmpty() || keys.value(QStringLiteral("Type")) != QStringLiteral("Application") ||
        !exec)
        return std::nullopt;
    const auto arguments = splitExec(*exec);
    if (!arguments || arguments->isEmpty())
        return std::nullopt;
    entry.name = *name;
    entry.exec = *arguments;
    entry.deleted = keys.value(QStringLiteral("Hidden")) == QStringLiteral("true");
    entry.icon = unescapeValue(keys.value(QStringLiteral("Icon"))).value_or(QString());
    const QString tryExec = unescapeValue(keys.value(QStringLiteral("TryExec"))).value_or(QString());
    if (!tryExec.isEmpty())
        entry.tryExec = programPath(tryExec);
    entry.ours = keys.contains(kPathKey);
    if (entry.ours) {
        const auto path = unescapeValue(keys.value(kPathKey));
        if (!path || path->isEmpty())
            return std::nullopt;
        entry.itemPath = *path;
        entry.hidden = keys.value(kHiddenKey) == QStringLiteral("true");
    } else {
        entry.itemPath = programPath(entry.exec.first());
    }
    return entry;
}

QByteArray AutostartEntry::compose(const QString& displayName, const QString& itemPath,
                                   const QString& program, bool hidden)
{
    QString text;
    text += kGroup + u'\n';
    text += QStringLiteral("Type=Application\n");
    text += QStringLiteral("Name=") + escapeValue(displayName) + u'\n';
    text += QStringLiteral("Exec=") + escapeValue(execLine({program, kLoginItemMarker})) + u'\n';
    text += QStringLiteral("Terminal=false\n");
    text += QStringLiteral("X-GNOME-Autostart-enabled=true\n");
    text += kPathKey + u'=' + escapeValue(itemPath) + u'\n';
    text += kHiddenKey + u'=' + (hidden ? QStringLiteral("true") : QStringLiteral("false")) + u'\n';
    return text.toUtf8();
}
