#pragma once

#include <QString>
#include <QStringList>

class QObject;

// One alert: a short title, an informative text and its buttons.
struct Alert
{
    enum class Style
    {
        Warning,
        Informational,
        Critical
    };

    Alert() = default;
    Alert(QString message, QString informative, QStringList buttonTitles = {})
        : messageText(std::move(message)), informativeText(std::move(informative)),
          buttons(std::move(buttonTitles))
    {}

    QString messageText;
    QString informativeText;
    QStringList buttons;   // empty means one "OK" button
    QString accessoryText; // optional read-only text under the informative text
    QString accessoryFont; // font family of the accessory text, empty for the default
    Style style = Style::Warning;
};

// How controllers show alerts. The first button returns 1000, the second 1001, and so on.
class AlertPort
{
public:
    static constexpr int kFirstButton = 1000;
    static constexpr int kSecondButton = 1001;
    static constexpr int kThirdButton = 1002;

    virtual ~AlertPort() = default;
    // A sheet on window, or an application-modal alert when window is null. Blocks until answered.
    virtual int runAlert(const Alert& alert, QObject* window = nullptr) = 0;
};
