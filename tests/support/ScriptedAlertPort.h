#pragma once

#include "core/system/AlertPort.h"

#include <QList>

// Answers alerts from a queue of button codes (1000 when the queue is empty) and keeps every
// alert shown, for tests to check texts and buttons.
class ScriptedAlertPort : public AlertPort
{
public:
    int runAlert(const Alert& alert, QObject* window = nullptr) override
    {
        shown.append(alert);
        windows.append(window);
        return answers.isEmpty() ? kFirstButton : answers.takeFirst();
    }

    QList<int> answers;
    QList<Alert> shown;
    QList<QObject*> windows;
};
