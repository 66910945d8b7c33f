// The web host's render threads: pages run here, never on the threads that read and write
// connections. Jobs wait in a bounded queue, first come first served; each is admitted against
// a memory budget by the bytes its render may take, so the memory of renders in flight stays
// within the budget however many threads there are.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quillax::web {

struct RenderPoolLimits {
    unsigned threads = 0;                         // 0: one per core
    std::size_t queueLength = 64;                 // jobs waiting for a thread or for memory
    std::size_t memoryBytes = 256u * 1024 * 1024; // what renders in flight may take together
};

class RenderPool {
public:
    // A job's work runs on a render thread once its cost fits the budget beside the renders in
    // flight. A job that is dropped unrun (the pool stopping) is destroyed on the stopping
    // thread.
    struct Job {
        std::size_t cost = 0; // bytes, at most the budget
        std::function<void()> work;
    };

    explicit RenderPool(const RenderPoolLimits& limits);
    ~RenderPool();
    RenderPool(const RenderPool&) = delete;
    RenderPool& operator=(const RenderPool&) = delete;

    // Queues the job; false, with the job left unqueued, when the queue is full or stopped.
    bool TrySubmit(Job&& job);
    // Ends the threads after the jobs they are running; queued jobs are dropped unrun.
    void Stop();

    std::size_t Budget() const { return budget_; }
    unsigned Threads() const { return static_cast<unsigned>(threads_.size()); }
    struct Totals {
        std::size_t queued = 0;
        std::size_t running = 0;
        std::size_t bytesInFlight = 0;
    };
    Totals Count() const;

private:
    void Run();

    const std::size_t budget_;
    const std::size_t queueLength_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::deque<Job> queue_;
    std::size_t inFlight_ = 0; // bytes of the jobs running
    std::size_t running_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace quillax::web
