// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <chrono>
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
//
// The submitting thread is woken for a batch of results rather than for
// each one (every wake costs a switch of threads, and an emit that writes
// to a pipe a write of its own), but never holds a ready result back for
// longer than kWakeDelay. Before it runs a job itself, and when a wait
// for results lasts longer than kIdleDelay, it calls the idle hook, so that
// output held back by `emit` can go out first. (Waits for a batch of quick
// results are many and short: output held back through one of them is
// soon followed by more, and going out at every one of them made a write,
// and a wake-up of the reader, every few dozen results.)
template <typename Job, typename Result>
class OrderedPipeline {
public:
    // `work` runs on worker `index` (0..workers-1): per-worker state indexed
    // by it needs no locking.
    using Work = std::function<Result(unsigned index, Job& job)>;
    using Emit = std::function<void(Result& result)>;
    using Idle = std::function<void()>;

    static constexpr auto kWakeDelay = std::chrono::milliseconds(20);
    static constexpr auto kIdleDelay = std::chrono::milliseconds(2);

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
    void setIdle(Idle idle) { m_idle = std::move(idle); }

    void submit(Job job)
    {
        // The first job runs here: a single file (the common call from the
        // window program) never pays for starting threads.
        if (m_threads.empty() && (m_workers == 1 || !m_ranInline)) {
            m_ranInline = true;
            if (m_idle)
                m_idle();
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
            waitForResults(lock);
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
                waitForResults(lock);
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
                countReady();
            }
            if (m_error || (m_wakeAt != 0 && m_ready >= m_wakeAt))
                m_changed.notify_all();
        }
    }

    // Advances m_ready over the results that have come in since.
    void countReady()
    {
        while (m_emitted + m_ready < m_next && m_slots[(m_emitted + m_ready) % m_window])
            ++m_ready;
    }

    // Waits until a batch of results is ready in order, or the first of
    // them once kWakeDelay has passed, or a job has failed.
    void waitForResults(std::unique_lock<std::mutex>& lock)
    {
        const auto enough = [this] { return m_error || (m_wakeAt != 0 && m_ready >= m_wakeAt); };
        m_wakeAt = std::min<std::uint64_t>(std::max<std::size_t>(m_window / 4, 1), m_next - m_emitted);
        // A wait that ends soon goes without the idle hook (see above).
        std::chrono::milliseconds waited{0};
        if (m_idle) {
            if (m_changed.wait_for(lock, kIdleDelay, enough)) {
                m_wakeAt = 0;
                return;
            }
            waited = kIdleDelay;
            lock.unlock();
            m_idle();
            lock.lock();
        }
        if (!m_changed.wait_for(lock, kWakeDelay - waited, enough)) {
            m_wakeAt = 1;
            m_changed.wait(lock, enough);
        }
        m_wakeAt = 0;
    }

    // Emits, in order, the results that are ready. The lock is released
    // around `emit` so workers keep going while output is written.
    void emitReady(std::unique_lock<std::mutex>& lock)
    {
        while (m_ready > 0) {
            auto& slot = m_slots[m_emitted % m_window];
            Result r = std::move(*slot);
            slot.reset();
            --m_ready;
            ++m_emitted;
            lock.unlock();
            m_emit(r);
            lock.lock();
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
    Idle m_idle;
    std::mutex m_mutex;
    std::condition_variable m_haveJob;
    std::condition_variable m_changed;
    std::deque<std::pair<std::uint64_t, Job>> m_jobs;
    std::vector<std::optional<Result>> m_slots;
    std::vector<std::thread> m_threads;
    std::uint64_t m_next = 0;
    std::uint64_t m_emitted = 0;
    // Results ready in order from m_emitted on.
    std::uint64_t m_ready = 0;
    // While the submitting thread waits: how many ready results wake it.
    std::uint64_t m_wakeAt = 0;
    bool m_closing = false;
    bool m_ranInline = false;
    std::exception_ptr m_error;
};

} // namespace gv::vonk
