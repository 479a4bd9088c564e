#pragma once

#include <QString>
#include <Qt>

class QWidget;

// A notice with a "Do not show this message again" box and one OK button, run modally over
// parent. Its controls are named <prefix>window, <prefix>Text and <prefix>Check. True when the
// box was ticked.
bool runCheckNotice(const QString& namePrefix, const QString& title, const QString& text, QWidget* parent,
                    Qt::WindowModality modality);
