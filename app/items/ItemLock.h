#pragma once

#include <QString>

class item1;

// Locking and unlocking a protected item's vault from the protected-items page (double-click or
// the row's lock button). Every item stored in that vault is affected, so a lock is refused while
// any of them is being copied or its application runs, and the user is told (once, unless turned
// off) which other items share the vault. The lock itself is the vault page's (VaultLocker), with
// the daemon table's holders stopped and a checked forced detach when nobody holds files.
class ItemLock
{
public:
    explicit ItemLock(item1& page) : m_page(page) {}

    // openFromTableViewButton: the decision for the clicked row.
    void open(int row);
    // mountSelectItem:andIsMount: the execution for a vault (true unlocks, false locks).
    void mountSelectItem(const QString& vaultName, bool isMount);

private:
    void refuse(const QString& title, const QString& text) const;

    item1& m_page;
};
