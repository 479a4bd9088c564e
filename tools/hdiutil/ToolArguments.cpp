#include "tools/hdiutil/ToolArguments.h"

namespace {

struct VerbSyntax
{
    const char* verb;
    QStringList flags;
    QStringList valueOptions;
    int operands;
};

const QList<VerbSyntax>& syntaxTable()
{
    static const QList<VerbSyntax> table = {
        {"create",
         {"-puppetstrings", "-stdinpass", "-plist", "-quiet"},
         {"-encryption", "-size", "-fs", "-layout", "-volname"},
         1},
        {"mount", {"-stdinpass", "-plist", "-puppetstrings", "-readonly", "-quiet"}, {}, 1},
        {"info", {"-plist"}, {}, 0},
        {"isencrypted", {"-plist"}, {}, 1},
        {"imageinfo", {"-plist", "-stdinpass"}, {}, 1},
        {"chpass", {"-oldstdinpass", "-newstdinpass"}, {}, 1},
        {"resize", {"-stdinpass", "-plist", "-quiet"}, {"-size"}, 1},
        {"detach", {"-force", "-quiet"}, {}, 1},
        {"help", {}, {}, 0},
    };
    return table;
}

const VerbSyntax* findVerb(const QString& verb)
{
    for (const VerbSyntax& s : syntaxTable()) {
        if (verb == QLatin1String(s.verb))
            return &s;
    }
    return nullptr;
}

} // namespace

std::optional<ToolArguments> ToolArguments::parse(const QStringList& arguments, QString* error)
{
    if (arguments.isEmpty()) {
        *error = QStringLiteral("no verb given\n") + usage();
        return std::nullopt;
    }
    ToolArguments result;
    // "attach" and "eject" are the usual other names of these verbs.
    result.verb = arguments.first();
    if (result.verb == QStringLiteral("attach"))
        result.verb = QStringLiteral("mount");
    else if (result.verb == QStringLiteral("eject"))
        result.verb = QStringLiteral("detach");
    const VerbSyntax* syntax = findVerb(result.verb);
    if (!syntax) {
        *error = QStringLiteral("%1: verb not recognized").arg(arguments.first());
        return std::nullopt;
    }
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            if (syntax->flags.contains(arg)) {
                result.flags.insert(arg);
            } else if (syntax->valueOptions.contains(arg)) {
                if (i + 1 >= arguments.size()) {
                    *error = QStringLiteral("%1: %2 needs a value").arg(result.verb, arg);
                    return std::nullopt;
                }
                result.values.insert(arg, arguments.at(++i));
            } else {
                *error = QStringLiteral("%1: unknown option %2").arg(result.verb, arg);
                return std::nullopt;
            }
        } else {
            result.operands.append(arg);
        }
    }
    if (result.operands.size() != syntax->operands) {
        *error = syntax->operands == 0
                     ? QStringLiteral("%1: unexpected argument %2").arg(result.verb, result.operands.first())
                     : QStringLiteral("%1: exactly one path expected").arg(result.verb);
        return std::nullopt;
    }
    if (result.has(QStringLiteral("-oldstdinpass")) != result.has(QStringLiteral("-newstdinpass"))) {
        *error = QStringLiteral("%1: -oldstdinpass and -newstdinpass go together").arg(result.verb);
        return std::nullopt;
    }
    return result;
}

QString ToolArguments::usage()
{
    return QStringLiteral(
        "usage: hdiutil <verb> <options>\n"
        "  create -encryption AES-128|AES-256 -size <size> -volname <name> [-fs <label>] [-layout <label>]\n"
        "         [-stdinpass] [-puppetstrings] <image>.sparsebundle|.sparseimage|.dmg\n"
        "  mount <image> [-stdinpass] [-plist] [-puppetstrings] [-readonly]\n"
        "  info [-plist]\n"
        "  isencrypted <image> [-plist]\n"
        "  imageinfo <image> -stdinpass [-plist]\n"
        "  chpass <image> -oldstdinpass -newstdinpass\n"
        "  resize <image> -size <size> -stdinpass\n"
        "  detach <mount point or image> [-force]\n"
        "Passwords are read from standard input only: each ends with a zero byte or the end of input.\n");
}
