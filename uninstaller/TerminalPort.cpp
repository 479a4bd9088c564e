#include "uninstaller/TerminalPort.h"

#include "core/system/SecretWipe.h"

#include <QCoreApplication>
#include <termios.h>
#include <unistd.h>

namespace {

QString plain(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

void TerminalPasswordPanel::setPassword(const QString& text)
{
    SecretWipe::wipe(m_password);
    m_password = text;
}

void TerminalPasswordPanel::setTip(const QString& text, bool)
{
    if (!text.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

void TerminalPasswordPanel::runModal()
{
    m_running = true;
    FILE* terminal = std::fopen("/dev/tty", "r+e");
    while (m_running) {
        if (!terminal || !readPassword(terminal)) {
            m_running = false;
            if (m_client)
                m_client->clickcancel();
            break;
        }
        if (m_client)
            m_client->clickok();
    }
    if (terminal)
        std::fclose(terminal);
    setPassword(QString());
}

bool TerminalPasswordPanel::readPassword(FILE* terminal)
{
    const int fd = fileno(terminal);
    termios saved;
    if (::tcgetattr(fd, &saved) != 0)
        return false;
    if (!m_explanation.isEmpty())
        std::fprintf(terminal, "%s\n", qPrintable(m_explanation));
    std::fprintf(terminal, "%s ", qPrintable(m_prompt.isEmpty() ? QStringLiteral("Password:") : m_prompt));
    std::fflush(terminal);
    termios quiet = saved;
    quiet.c_lflag &= ~tcflag_t(ECHO);
    ::tcsetattr(fd, TCSAFLUSH, &quiet);
    QByteArray typed;
    int c;
    while ((c = std::fgetc(terminal)) != EOF && c != '\n')
        typed.append(char(c));
    ::tcsetattr(fd, TCSAFLUSH, &saved);
    std::fprintf(terminal, "\n");
    const bool answered = c == '\n';
    if (answered)
        setPassword(QString::fromUtf8(typed));
    SecretWipe::wipe(typed);
    return answered;
}

void TerminalPort::line(const QString& text)
{
    std::fprintf(m_out, "%s\n", qPrintable(text));
    std::fflush(m_out);
}

void TerminalPort::setStatusLine(const QString& text)
{
    if (text == m_lastStatus)
        return;
    m_lastStatus = text;
    line(text);
}

void TerminalPort::setProgress(int percent, int index, int count)
{
    if (index != m_lastIndex) {
        m_lastIndex = index;
        m_lastPercent = -1;
        line(QStringLiteral("Item %1 of %2").arg(index).arg(count));
    }
    // A line per tenth is enough for a log; the bar is the window's.
    if (percent / 10 == m_lastPercent / 10 && percent != 100)
        return;
    if (percent == m_lastPercent)
        return;
    m_lastPercent = percent;
    line(QStringLiteral("Restoring %1%").arg(percent));
}

void TerminalPort::showAlert(const Alert& alert)
{
    line(plain(alert.messageText));
    if (!alert.informativeText.isEmpty())
        line(plain(alert.informativeText));
    if (!alert.accessoryText.isEmpty())
        line(alert.accessoryText);
}

bool TerminalPort::askFailureQuestion(const Alert& alert, const QUrl& helpPage)
{
    showAlert(alert);
    line(QStringLiteral("Help: %1").arg(helpPage.toString()));
    return false;
}

bool TerminalPort::confirmExit(const Alert& alert)
{
    showAlert(alert);
    return true;
}

void TerminalPort::openHelp(const QUrl& page)
{
    line(QStringLiteral("Help: %1").arg(page.toString()));
}

void TerminalPort::quit(int exitCode)
{
    std::fflush(m_out);
    QCoreApplication::exit(exitCode);
}
