#pragma once

class QLineEdit;

// Password fields are emptied so that the typed text is wiped: the text is taken, the field
// cleared (it lets go of its buffer), then the taken copy, now the last one, is overwritten.
// Copies Qt keeps for its own undo and input-method bookkeeping are beyond reach.
class SecretField
{
public:
    static void clear(QLineEdit* field);
};
