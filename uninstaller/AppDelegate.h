#pragma once

#include <QObject>

// ZorvaneUninstaller's controller.
class AppDelegate : public QObject
{
    Q_OBJECT
public:
    explicit AppDelegate(QObject* parent = nullptr);
};
