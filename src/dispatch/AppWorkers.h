#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "dispatch/Runtime.h"

namespace qv {

// One serial worker per application, for every request to it that waits for its answer
// (Accessibility reads and writes, activation): a hung application delays only what is asked of it.
// A request the user made goes before background reads (rescans) that have not started yet; within
// each kind requests run in the order they were asked. Answers come back on the main queue. A
// worker is made at the first request to its application and ends when the application does.
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
        enqueue(pid, std::move(request), urgency);
    }

    // Runs `request` on the application's worker, then `answer` with its result on the main queue.
    template <class Request, class Answer>
    void ask(int32_t pid, Request request, Answer answer, Urgency urgency = Urgency::user) {
        enqueue(
            pid,
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
            auto it = workers_.find(pid);
            if (it == workers_.end()) return;
            ended = std::move(it->second);
            workers_.erase(it);
        }
        // Released outside the lock: a runtime may do work when a queue goes.
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

  private:
    // The requests not started yet, by kind. Each posted block runs the first of them, so every
    // request runs once, user requests first.
    struct Lanes {
        std::mutex mutex;
        std::deque<std::function<void()>> user;
        std::deque<std::function<void()>> background;

        void runNext() {
            std::function<void()> next;
            {
                std::lock_guard lock(mutex);
                auto& lane = user.empty() ? background : user;
                if (lane.empty()) return;
                next = std::move(lane.front());
                lane.pop_front();
            }
            next();
        }
    };
    struct Worker {
        std::shared_ptr<Queue> queue;
        std::shared_ptr<Lanes> lanes = std::make_shared<Lanes>();
    };

    void enqueue(int32_t pid, std::function<void()> request, Urgency urgency) {
        std::shared_ptr<Worker> worker = workerFor(pid);
        {
            std::lock_guard lock(worker->lanes->mutex);
            (urgency == Urgency::user ? worker->lanes->user : worker->lanes->background)
                .push_back(std::move(request));
        }
        worker->queue->async([lanes = worker->lanes] { lanes->runNext(); });
    }

    std::shared_ptr<Worker> workerFor(int32_t pid) {
        std::lock_guard lock(mutex_);
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
};

}  // namespace qv
