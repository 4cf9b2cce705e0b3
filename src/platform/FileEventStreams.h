#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dispatch/Runtime.h"

namespace qv {

// CoreServices file-system event streams: a stream reports changes below the folders it watches,
// gathered over its latency, on the dispatch queue it is given.
using FSEventStreamRef = uint64_t;  // 0: no stream
using FSEventStreamEventId = uint64_t;

inline constexpr FSEventStreamEventId kFSEventStreamEventIdSinceNow = 0xFFFFFFFFFFFFFFFFull;

// FSEventStreamCreateFlags
namespace fseventstreamcreateflags {
inline constexpr uint32_t kUseCFTypes = 0x01;
inline constexpr uint32_t kNoDefer = 0x02;
inline constexpr uint32_t kWatchRoot = 0x04;
inline constexpr uint32_t kFileEvents = 0x10;
}  // namespace fseventstreamcreateflags

// FSEventStreamEventFlags
namespace fseventstreameventflags {
inline constexpr uint32_t kItemCreated = 0x100;
inline constexpr uint32_t kItemRemoved = 0x200;
inline constexpr uint32_t kItemRenamed = 0x800;
inline constexpr uint32_t kItemModified = 0x1000;
inline constexpr uint32_t kItemIsFile = 0x10000;
inline constexpr uint32_t kItemIsDir = 0x20000;
}  // namespace fseventstreameventflags

struct FSEvent {
    std::string path;
    uint32_t flags = 0;
    FSEventStreamEventId id = 0;
};

// The stream's callback with the events of one delivery, oldest first.
using FSEventStreamCallback =
    std::function<void(FSEventStreamRef stream, const std::vector<FSEvent>& events)>;

class FileEventStreams {
  public:
    virtual ~FileEventStreams() = default;
    // FSEventStreamCreate; 0 when the stream cannot be created. The callback holds its context as
    // the caller made it (the stream does not retain the caller).
    virtual FSEventStreamRef create(FSEventStreamCallback callback, std::vector<std::string> pathsToWatch,
                                    FSEventStreamEventId sinceWhen, Seconds latency, uint32_t flags) = 0;
    // FSEventStreamSetDispatchQueue: where the callback runs.
    virtual void setDispatchQueue(FSEventStreamRef stream, std::shared_ptr<Queue> queue) = 0;
    // FSEventStreamStart; false when the stream cannot start.
    virtual bool start(FSEventStreamRef stream) = 0;
    // FSEventStreamStop, FSEventStreamInvalidate, FSEventStreamRelease.
    virtual void stop(FSEventStreamRef stream) = 0;
    virtual void invalidate(FSEventStreamRef stream) = 0;
    virtual void release(FSEventStreamRef stream) = 0;
};

}  // namespace qv
