#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/FileEventStreams.h"

namespace qv {

class SimDesktop;

// File-system event streams over the simulated disk: a change posts an event to every started
// stream that watches a folder containing the path; each stream hands its events over in one
// callback once its latency has passed since the first of them, on its dispatch queue.
class SimFileEventStreams : public FileEventStreams {
  public:
    explicit SimFileEventStreams(SimDesktop& sim) : sim_(sim) {}
    ~SimFileEventStreams() override;
    SimFileEventStreams(const SimFileEventStreams&) = delete;
    SimFileEventStreams& operator=(const SimFileEventStreams&) = delete;

    FSEventStreamRef create(FSEventStreamCallback callback, std::vector<std::string> pathsToWatch,
                            FSEventStreamEventId sinceWhen, Seconds latency, uint32_t flags) override;
    void setDispatchQueue(FSEventStreamRef stream, std::shared_ptr<Queue> queue) override;
    bool start(FSEventStreamRef stream) override;
    void stop(FSEventStreamRef stream) override;
    void invalidate(FSEventStreamRef stream) override;
    void release(FSEventStreamRef stream) override;

    // --- The disk changes ---
    void post(const std::string& path, uint32_t flags);

    // --- Reading and faults ---
    struct Stream {
        std::vector<std::string> paths;
        Seconds latency = 0;
        uint32_t flags = 0;
        bool started = false;
        bool invalidated = false;
        bool released = false;
        int deliveries = 0;
    };
    // Every stream made, by reference, released ones included.
    std::map<FSEventStreamRef, Stream> streams() const;
    bool refuseCreate = false;  // FSEventStreamCreate gives no stream

  private:
    struct Live {
        Stream info;
        FSEventStreamCallback callback;
        std::shared_ptr<Queue> queue;
        std::vector<FSEvent> pending;
        WorkItemPtr delivery;
    };
    void deliver(FSEventStreamRef ref);

    SimDesktop& sim_;
    mutable std::mutex mutex_;
    std::map<FSEventStreamRef, Live> streams_;
    FSEventStreamRef nextRef_ = 1;
    FSEventStreamEventId nextEventID_ = 1000;
};

}  // namespace qv
