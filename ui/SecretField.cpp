#include "ui/SecretField.h"

#include "core/system/SecretWipe.h"

#include <QLineEdit>

void SecretField::clear(QLineEdit* field)
{
    if (!field)
        return;
    QString text = field->text();
    field->clear();
    SecretWipe::wipe(text);
}
