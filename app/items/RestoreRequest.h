#pragma once

#include <QList>
#include <QString>

class item1;

// Decrypting on the protected-items page: the confirmation of the selected items, the check that
// none of their applications runs, the reminder, then per item the vault unlocked, the item's
// places checked (RestoreWork::prepare), the processes holding its vault copy dealt with, the room
// at its place checked, and the restore job started. An item that is refused leaves every file,
// record and row as it was.
class RestoreRequest
{
public:
    explicit RestoreRequest(item1& page) : m_page(page) {}

    // ClickRestoreButton: asks for confirmation of the selected rows.
    void confirm();
    // sheetDidEndShouldRestore: the confirmation's answer (1000 Cancel, 1001 Decrypt).
    void answered(int returnCode);

private:
    QList<int> selectedRows() const;
    QStringList namesOf(const QList<int>& rows) const;
    // False ends the whole request (a missing vault, a cancelled unlock).
    bool restoreOne(const QString& name);
    void refuse(const QString& title, const QString& text, const QString& detail = QString()) const;

    item1& m_page;
};
