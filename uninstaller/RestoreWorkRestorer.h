#pragma once

#include "core/vault/RestoreWork.h"
#include "uninstaller/ItemRestorer.h"

#include <memory>
#include <optional>

class Trash;

// The uninstaller's item step is the restore job's own work, keeping the vault's copy.
class RestoreWorkRestorer : public ItemRestorer
{
public:
    explicit RestoreWorkRestorer(Trash& trash) : m_trash(trash) {}

    QString prepare(const Item& item, SettingsStore& settings) override;
    QString holders() override;
    bool begin(QString* error) override;
    bool run() override { return m_work->run(); }
    void cancel() override
    {
        if (m_work)
            m_work->cancel();
    }
    quint64 bytesDone() const override { return m_work ? m_work->bytesDone() : 0; }
    QString source() const override { return m_plan ? m_plan->source : QString(); }
    QString failure() const override { return m_work ? m_work->failure() : QString(); }
    bool endJournal() override { return m_work && m_work->endJournal(); }

private:
    Trash& m_trash;
    std::optional<RestoreWork::Plan> m_plan;
    std::unique_ptr<RestoreWork> m_work;
};
