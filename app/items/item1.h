#pragma once

#include <QWidget>

// The protected-items page.
class item1 : public QWidget
{
    Q_OBJECT
public:
    explicit item1(QWidget* parent = nullptr);
};
