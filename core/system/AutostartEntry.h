#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// One XDG autostart file (a desktop entry), as far as login items need it. Entries written by
// Zorvane keep the item's path and hidden flag in keys of their own: Hidden=true would mean
// "deleted" to the session and disable the entry.
class AutostartEntry
{
public:
    static inline const QString kPathKey = QStringLiteral("X-Zorvane-Path");
    static inline const QString kHiddenKey = QStringLiteral("X-Zorvane-Hidden");

    QString name;     // Name=, the display name
    QStringList exec; // Exec= split into arguments
    QString itemPath; // what was registered; for other programs' entries the program run
    bool hidden = false;
    bool ours = false;    // written by Zorvane
    bool deleted = false; // Hidden=true: the session treats the entry as absent
    QString icon;         // Icon=: a theme icon name or an absolute file
    QString tryExec;      // TryExec=, as a path where it can be found

    // nullopt for a file that is not a well-formed application desktop entry with a name and
    // a command; such files are never listed, changed or removed.
    static std::optional<AutostartEntry> parse(const QByteArray& content);
    // An entry that runs the program with the login marker after it.
    static QByteArray compose(const QString& displayName, const QString& itemPath, const QString& program,
                              bool hidden);

    // Exec quoting: every argument in double quotes, with ", `, $ and \ escaped by a backslash
    // and % doubled; the value escapes (\\, \n, \t, \r) are applied on top when writing.
    static QString execLine(const QStringList& arguments);
    static std::optional<QStringList> splitExec(const QString& execValue);
    static QString escapeValue(const QString& value);
    static std::optional<QString> unescapeValue(const QString& raw);
};
