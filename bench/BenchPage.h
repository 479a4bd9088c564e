#pragma once

// The protected-items page driven headless by the benchmarks: no alert waits for an answer and
// the real Trash is used; the caller adds what its run needs (catalogue, sheets).
#include "app/items/item1.h"
#include "core/settings/SettingsStore.h"
#include "core/system/AlertPort.h"
#include "platform/FreedesktopTrash.h"

namespace bench {

class NoAlerts : public AlertPort
{
public:
    int runAlert(const Alert&, QObject*) override { return kFirstButton; }
};

struct HeadlessPage
{
    NoAlerts alerts;
    FreedesktopTrash trash;

    ItemPageServices services(SettingsStore& settings)
    {
        ItemPageServices s;
        s.settings = &settings;
        s.alerts = &alerts;
        s.trash = &trash;
        s.catalogue = [] {
            return QList<CatalogueEntry>();
        };
        s.requestAttention = [](QWidget*) {
        };
        return s;
    }
};

} // namespace bench
