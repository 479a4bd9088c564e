#pragma once

#include <QWidget>

// The vault page.
class item2 : public QWidget
{
    Q_OBJECT
public:
    explicit item2(QWidget* parent = nullptr);
};
