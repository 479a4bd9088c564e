#pragma once

#include <memory>

class JobHandle;

// Held by a running file job for as long as it lives. Rows and other observers keep a JobHandle
// made from it, so they can tell a job that ended without saying so (its object destroyed, its
// thread gone) from one that is still at work.
class JobToken
{
public:
    JobToken() : m_life(std::make_shared<char>(0)) {}
    JobToken(const JobToken&) = delete;
    JobToken& operator=(const JobToken&) = delete;

    inline JobHandle handle() const;

private:
    friend class JobHandle;
    std::shared_ptr<char> m_life;
};

// A weak reference to a job's token. A default-constructed handle refers to no job.
class JobHandle
{
public:
    JobHandle() = default;

    // False once the job's token is gone, and for a handle that never referred to a job.
    bool isAlive() const { return !m_life.expired(); }

private:
    friend class JobToken;
    explicit JobHandle(std::weak_ptr<char> life) : m_life(std::move(life)) {}
    std::weak_ptr<char> m_life;
};

JobHandle JobToken::handle() const
{
    return JobHandle(m_life);
}
