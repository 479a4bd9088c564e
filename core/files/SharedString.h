#pragma once

#include <QString>
#include <memory>
#include <mutex>

// A mutable string shared by reference between a job, its worker thread and the timer that polls
// it (job status, progress text, size text). A default-constructed handle is null: writes to it
// are dropped and it reads as a null QString. Copies of a handle share one value.
class SharedString
{
public:
    SharedString() = default;
    static SharedString create(const QString& initial = QString())
    {
        SharedString s;
        s.m_state = std::make_shared<State>();
        s.m_state->value = initial;
        return s;
    }

    bool isNull() const { return !m_state; }
    QString value() const
    {
        if (!m_state)
            return QString();
        std::lock_guard lock(m_state->mutex);
        return m_state->value;
    }
    void setValue(const QString& value) const
    {
        if (!m_state)
            return;
        std::lock_guard lock(m_state->mutex);
        m_state->value = value;
    }
    bool sharesWith(const SharedString& other) const { return m_state == other.m_state; }

private:
    struct State
    {
        std::mutex mutex;
        QString value;
    };
    std::shared_ptr<State> m_state;
};
