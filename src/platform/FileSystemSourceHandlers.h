#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "dispatch/Runtime.h"

namespace qv {

// The handlers of a file-system object source and their hop to the source's queue, as every
// implementation of a source keeps them. Once cancelled, no delivery runs, not even one already
// posted, and the cancel handler runs once on the queue. Thread-safe.
class FileSystemSourceHandlers {
  public:
    explicit FileSystemSourceHandlers(std::shared_ptr<Queue> queue);

    void setEventHandler(std::function<void(uint32_t events)> handler);
    void setCancelHandler(std::function<void()> handler);
    bool isCancelled() const;
    // Posts the event handler with these events, unless cancelled.
    void deliver(uint32_t events);
    // The first call posts the cancel handler and answers true; later calls do nothing.
    bool cancel();

  private:
    struct State;
    std::shared_ptr<Queue> queue_;
    std::shared_ptr<State> state_;
};

}  // namespace qv
