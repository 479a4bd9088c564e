#pragma once

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

// One command line of the tool: a verb, its switches, its options with values and its
// operands. Options may come in any order; each verb accepts only its own.
struct ToolArguments
{
    QString verb;
    QSet<QString> flags;           // "-plist", "-stdinpass", …
    QMap<QString, QString> values; // "-size" -> "20G", …
    QStringList operands;

    bool has(const QString& flag) const { return flags.contains(flag); }
    QString value(const QString& option) const { return values.value(option); }
    QString operand() const { return operands.value(0); }

    // nullopt with a message (without the "hdiutil: " prefix) for anything not accepted.
    static std::optional<ToolArguments> parse(const QStringList& arguments, QString* error);
    static QString usage();
};
