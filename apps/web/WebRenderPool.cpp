// The render threads: the queue's first job runs as soon as a thread is free and its cost fits
// beside the renders in flight. Only the first is considered, so a large render is never
// overtaken for ever by small ones.
#include "apps/web/WebRenderPool.h"

#include <algorithm>

#include <sys/resource.h>
#include <unistd.h>

namespace quillax::web {

namespace {
constexpr int kRenderNice = 10; // the render threads' niceness, above the network threads'
} // namespace

RenderPool::RenderPool(const RenderPoolLimits& limits)
    : budget_(std::max<std::size_t>(1, limits.memoryBytes)),
      queueLength_(std::max<std::size_t>(1, limits.queueLength)) {
    const unsigned count =
        limits.threads != 0 ? limits.threads : std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < count; ++i)
        threads_.emplace_back([this] { Run(); });
}

RenderPool::~RenderPool() {
    Stop();
}

bool RenderPool::TrySubmit(Job&& job) {
    {
        const std::lock_guard hold(lock_);
        if (stopping_ || queue_.size() >= queueLength_) return false;
        job.cost = std::min(job.cost, budget_);
        queue_.push_back(std::move(job));
    }
    changed_.notify_all();
    return true;
}

void RenderPool::Stop() {
    std::deque<Job> dropped;
    {
        const std::lock_guard hold(lock_);
        stopping_ = true;
        dropped.swap(queue_);
    }
    changed_.notify_all();
    for (std::thread& thread : threads_)
        if (thread.joinable()) thread.join();
}

RenderPool::Totals RenderPool::Count() const {
    const std::lock_guard hold(lock_);
    return {queue_.size(), running_, inFlight_};
}

void RenderPool::Run() {
    // Renders yield the processor to the network threads: a health check or a cached answer
    // never queues behind a render for a core.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kRenderNice);
    for (;;) {
        Job job;
        {
            std::unique_lock hold(lock_);
            changed_.wait(hold, [this] {
                return stopping_ || (!queue_.empty() && inFlight_ + queue_.front().cost <= budget_);
            });
            if (stopping_) return;
            job = std::move(queue_.front());
            queue_.pop_front();
            inFlight_ += job.cost;
            ++running_;
        }
        // The next job may fit beside this one.
        changed_.notify_all();
        job.work();
        const std::size_t cost = job.cost;
        job = {};
        {
            const std::lock_guard hold(lock_);
            inFlight_ -= cost;
            --running_;
        }
        changed_.notify_all();
    }
}

} // namespace quillax::web
