#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <type_traits>
#include <utility>

#include "dispatch/Runtime.h"

namespace qv {

// One serial worker per application, for every request to it that waits for its answer
// (Accessibility reads and writes, activation): a hung application delays only what is asked of it.
// A request the user made goes before background reads (rescans) that have not started yet; within
// each kind requests run in the order they were asked. Answers come back on the main queue. A
// worker is made at the first request to its application and ends when the application does.
//
// Promises kept with every runtime:
// - Ending an application waits for nothing and drops nothing: its worker runs what it was already
//   asked, every answer comes, and the worker's queue ends by itself afterwards.
// - An application that ended gets no worker again until it is launched again (pids are reused):
//   a request to it is not run, and its answer comes at once, empty (the answer type's default:
//   none, false, nothing found), so whoever counts answers is not left waiting.
// - At the platform's end every worker ends before the services the requests use go.
// The map of workers is shared by every thread that asks; its lock is never held while a request
// runs or a queue goes.
//
// Asked from any thread; what a request captures must outlive it on its own (values, shared or
// weak pointers), since a worker can outlast the one who asked.
class AppWorkers {
  public:
    enum class Urgency { user, background };

    explicit AppWorkers(Runtime& runtime) : runtime_(runtime), main_(runtime.mainQueue()) {}
    AppWorkers(const AppWorkers&) = delete;
    AppWorkers& operator=(const AppWorkers&) = delete;

    // Runs `request` on the application's worker.
    void ask(int32_t pid, std::function<void()> request, Urgency urgency = Urgency::user) {
        if (auto worker = workerFor(pid)) enqueue(*worker, std::move(request), urgency);
    }

    // Runs `request` on the application's worker, then `answer` with its result on the main queue.
    template <class Request, class Answer>
    void ask(int32_t pid, Request request, Answer answer, Urgency urgency = Urgency::user) {
        using Result = std::decay_t<std::invoke_result_t<Request&>>;
        auto worker = workerFor(pid);
        if (!worker) {
            main_->async([answer = std::move(answer)]() mutable { answer(Result{}); });
            return;
        }
        enqueue(
            *worker,
            [request = std::move(request), answer = std::move(answer), main = main_]() mutable {
                auto result = request();
                main->async([answer = std::move(answer), result = std::move(result)]() mutable {
                    answer(std::move(result));
                });
            },
            urgency);
    }
    // The same for background reads, which wait while the user's requests are taken first.
    template <class Request, class Answer>
    void askInBackground(int32_t pid, Request request, Answer answer) {
        ask(pid, std::move(request), std::move(answer), Urgency::background);
    }

    // The application ended: its worker goes once what it was already asked has run.
    void applicationTerminated(int32_t pid) {
        std::shared_ptr<Worker> ended;
        {
            std::lock_guard lock(mutex_);
            ended_.insert(pid);
            auto it = workers_.find(pid);
            if (it == workers_.end()) return;
            ended = std::move(it->second);
            workers_.erase(it);
        }
        // Released outside the lock: a runtime may do work when a queue goes.
    }
    // An application was launched: its pid may be one that ended before.
    void applicationLaunched(int32_t pid) {
        std::lock_guard lock(mutex_);
        ended_.erase(pid);
    }
    bool hasEnded(int32_t pid) const {
        std::lock_guard lock(mutex_);
        return ended_.contains(pid);
    }

    // For the platform's end: every worker stops, requests not started are dropped, and nothing is
    // run afterwards. Then waitForRequestsUnderWay() returns once none is running one (with a
    // runtime whose blocks park, ManualRuntime, release its parked work first: a parked request
    // would never end).
    void close() {
        std::map<int32_t, std::shared_ptr<Worker>> workers;
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
            workers.swap(workers_);
        }
        for (auto& [pid, worker] : workers) worker->lanes->close();
        closing_.merge(workers);
    }
    void waitForRequestsUnderWay() {
        for (auto& [pid, worker] : closing_) worker->lanes->waitUntilIdle();
        closing_.clear();
    }

    bool hasWorker(int32_t pid) const {
        std::lock_guard lock(mutex_);
        return workers_.contains(pid);
    }
    size_t workerCount() const {
        std::lock_guard lock(mutex_);
        return workers_.size();
    }
    // The label of an application's worker.
    static std::string label(int32_t pid) { return "com.quillvorn.app." + std::to_string(pid); }

    // Tells, from any thread, whether a user's request waits on the application's worker: a long
    // background read asks it between its steps and stops there, to be asked again for the rest.
    std::function<bool()> userRequestWaiting(int32_t pid) {
        std::shared_ptr<Worker> worker = workerFor(pid);
        if (!worker) return [] { return false; };
        return [lanes = std::weak_ptr<Lanes>(worker->lanes)] {
            auto alive = lanes.lock();
            if (!alive) return false;
            std::lock_guard lock(alive->mutex);
            return !alive->user.empty();
        };
    }

  private:
    // The requests not started yet, by kind. Each posted block runs the first of them, so every
    // request runs once, user requests first.
    struct Lanes {
        std::mutex mutex;
        std::condition_variable idle;
        std::deque<std::function<void()>> user;
        std::deque<std::function<void()>> background;
        bool running = false;
        bool closed = false;

        void runNext() {
            std::function<void()> next;
            {
                std::lock_guard lock(mutex);
                auto& lane = user.empty() ? background : user;
                if (closed || lane.empty()) return;
                next = std::move(lane.front());
                lane.pop_front();
                running = true;
            }
            // Idle again even if the request throws; what it captured goes first, while the
            // services it may hold still exist.
            struct Done {
                Lanes& lanes;
                std::function<void()>& request;
                ~Done() {
                    request = nullptr;
                    std::lock_guard lock(lanes.mutex);
                    lanes.running = false;
                    lanes.idle.notify_all();
                }
            } done{*this, next};
            next();
        }
        // Drops what has not started, outside the lock.
        void close() {
            std::deque<std::function<void()>> dropped[2];
            std::lock_guard lock(mutex);
            closed = true;
            dropped[0].swap(user);
            dropped[1].swap(background);
        }
        void waitUntilIdle() {
            std::unique_lock lock(mutex);
            idle.wait(lock, [this] { return !running; });
        }
    };
    struct Worker {
        std::shared_ptr<Queue> queue;
        std::shared_ptr<Lanes> lanes = std::make_shared<Lanes>();
    };

    void enqueue(Worker& worker, std::function<void()> request, Urgency urgency) {
        {
            std::lock_guard lock(worker.lanes->mutex);
            if (worker.lanes->closed) return;
            (urgency == Urgency::user ? worker.lanes->user : worker.lanes->background)
                .push_back(std::move(request));
        }
        worker.queue->async([lanes = worker.lanes] { lanes->runNext(); });
    }

    // None for an application that ended, and once closed.
    std::shared_ptr<Worker> workerFor(int32_t pid) {
        std::lock_guard lock(mutex_);
        if (closed_ || ended_.contains(pid)) return nullptr;
        auto& worker = workers_[pid];
        if (!worker) {
            worker = std::make_shared<Worker>();
            worker->queue = runtime_.makeSerialQueue(label(pid), QoS::userInitiated);
        }
        return worker;
    }

    Runtime& runtime_;
    std::shared_ptr<Queue> main_;
    mutable std::mutex mutex_;
    std::map<int32_t, std::shared_ptr<Worker>> workers_;
    std::set<int32_t> ended_;  // until launched again
    bool closed_ = false;
    std::map<int32_t, std::shared_ptr<Worker>> closing_;  // the platform's thread only
};

}  // namespace qv
