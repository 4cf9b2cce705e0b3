#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "dispatch/Runtime.h"

namespace qv {

// One serial worker per application, for every request to it that waits for its answer
// (Accessibility reads and writes, activation): requests to one application run in the order they
// were asked, and a hung application delays only what is asked of it. Answers come back on the
// main queue, so each application's answers are applied in the order they were asked. A worker is
// made at the first request to its application and ends when the application does.
//
// Asked from any thread; what a request captures must outlive it on its own (values, shared or
// weak pointers), since a worker can outlast the one who asked.
class AppWorkers {
  public:
    explicit AppWorkers(Runtime& runtime) : runtime_(runtime), main_(runtime.mainQueue()) {}
    AppWorkers(const AppWorkers&) = delete;
    AppWorkers& operator=(const AppWorkers&) = delete;

    // Runs `request` on the application's worker.
    void ask(int32_t pid, std::function<void()> request) { workerFor(pid)->async(std::move(request)); }

    // Runs `request` on the application's worker, then `answer` with its result on the main queue.
    template <class Request, class Answer>
    void ask(int32_t pid, Request request, Answer answer) {
        workerFor(pid)->async([request = std::move(request), answer = std::move(answer), main = main_]() mutable {
            auto result = request();
            main->async([answer = std::move(answer), result = std::move(result)]() mutable {
                answer(std::move(result));
            });
        });
    }

    // The application ended: its worker goes once what it was already asked has run.
    void applicationTerminated(int32_t pid) {
        std::lock_guard lock(mutex_);
        workers_.erase(pid);
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
    std::shared_ptr<Queue> workerFor(int32_t pid) {
        std::lock_guard lock(mutex_);
        auto& worker = workers_[pid];
        if (!worker) worker = runtime_.makeSerialQueue(label(pid), QoS::userInitiated);
        return worker;
    }

    Runtime& runtime_;
    std::shared_ptr<Queue> main_;
    mutable std::mutex mutex_;
    std::map<int32_t, std::shared_ptr<Queue>> workers_;
};

}  // namespace qv
