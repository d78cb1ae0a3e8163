// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace gv::vonk {

// Runs jobs on a fixed number of workers and hands their results to `emit`
// in the order the jobs were submitted. At most `window` jobs are in flight
// or waiting to be emitted, so memory stays bounded however many jobs come;
// submit() blocks while the window is full. Results are emitted on the
// submitting thread, from submit() and finish(), as soon as every earlier
// one has been. With one worker no thread is started: each job runs and is
// emitted inside submit(); with more, threads start at the second job.
template <typename Job, typename Result>
class OrderedPipeline {
public:
    // `work` runs on worker `index` (0..workers-1): per-worker state indexed
    // by it needs no locking.
    using Work = std::function<Result(unsigned index, Job& job)>;
    using Emit = std::function<void(Result& result)>;

    OrderedPipeline(unsigned workers, std::size_t window, Work work, Emit emit)
        : m_workers(workers == 0 ? 1 : workers)
        , m_window(window < m_workers ? m_workers : window)
        , m_work(std::move(work))
        , m_emit(std::move(emit))
        , m_slots(m_window)
    {
    }

    OrderedPipeline(const OrderedPipeline&) = delete;
    OrderedPipeline& operator=(const OrderedPipeline&) = delete;

    ~OrderedPipeline()
    {
        stop();
    }

    unsigned workers() const { return m_workers; }

    void submit(Job job)
    {
        // The first job runs here: a single file (the common call from the
        // window program) never pays for starting threads.
        if (m_threads.empty() && (m_workers == 1 || !m_ranInline)) {
            m_ranInline = true;
            Result r = m_work(0, job);
            m_emit(r);
            return;
        }
        if (m_threads.empty()) {
            m_threads.reserve(m_workers);
            for (unsigned i = 0; i < m_workers; ++i)
                m_threads.emplace_back([this, i] { run(i); });
        }
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (m_error) {
                // A failed job leaves a gap that would hold the window shut.
                lock.unlock();
                stop();
                std::rethrow_exception(std::exchange(m_error, nullptr));
            }
            emitReady(lock);
            if (m_next - m_emitted < m_window)
                break;
            m_changed.wait(lock);
        }
        m_jobs.emplace_back(m_next++, std::move(job));
        m_haveJob.notify_one();
        emitReady(lock);
    }

    // Waits for every submitted job and emits the rest. Rethrows what a
    // worker threw, after the others have stopped.
    void finish()
    {
        if (m_threads.empty())
            return;
        {
            std::unique_lock lock(m_mutex);
            for (;;) {
                emitReady(lock);
                if (m_emitted == m_next || m_error)
                    break;
                m_changed.wait(lock);
            }
        }
        stop();
        if (m_error)
            std::rethrow_exception(std::exchange(m_error, nullptr));
    }

private:
    void run(unsigned index)
    {
        for (;;) {
            std::pair<std::uint64_t, Job> item;
            {
                std::unique_lock lock(m_mutex);
                m_haveJob.wait(lock, [&] { return m_closing || !m_jobs.empty(); });
                if (m_jobs.empty())
                    return;
                item = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            std::optional<Result> r;
            std::exception_ptr error;
            try {
                r.emplace(m_work(index, item.second));
            } catch (...) {
                error = std::current_exception();
            }
            std::lock_guard lock(m_mutex);
            if (error) {
                if (!m_error)
                    m_error = error;
            } else {
                m_slots[item.first % m_window] = std::move(r);
            }
            m_changed.notify_all();
        }
    }

    // Emits, in order, the results that are ready. The lock is released
    // around `emit` so workers keep going while output is written.
    void emitReady(std::unique_lock<std::mutex>& lock)
    {
        while (m_emitted < m_next) {
            auto& slot = m_slots[m_emitted % m_window];
            if (!slot)
                return;
            Result r = std::move(*slot);
            slot.reset();
            lock.unlock();
            m_emit(r);
            lock.lock();
            ++m_emitted;
            m_changed.notify_all();
        }
    }

    void stop()
    {
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
            if (m_error)
                m_jobs.clear();
        }
        m_haveJob.notify_all();
        for (auto& t : m_threads)
            t.join();
        m_threads.clear();
    }

    const unsigned m_workers;
    const std::size_t m_window;
    Work m_work;
    Emit m_emit;
    std::mutex m_mutex;
    std::condition_variable m_haveJob;
    std::condition_variable m_changed;
    std::deque<std::pair<std::uint64_t, Job>> m_jobs;
    std::vector<std::optional<Result>> m_slots;
    std::vector<std::thread> m_threads;
    std::uint64_t m_next = 0;
    std::uint64_t m_emitted = 0;
    bool m_closing = false;
    bool m_ranInline = false;
    std::exception_ptr m_error;
};

} // namespace gv::vonk
