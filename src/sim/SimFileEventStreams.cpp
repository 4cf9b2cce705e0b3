#include "sim/SimFileEventStreams.h"

#include "sim/SimDesktop.h"

namespace qv {

namespace {

bool watches(const std::string& root, const std::string& path) {
    if (root == "/") return !path.empty() && path.front() == '/';
    return path == root ||
           (path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/');
}

}  // namespace

SimFileEventStreams::~SimFileEventStreams() {
    for (auto& [ref, live] : streams_) {
        if (live.delivery) live.delivery->cancel();
    }
}

FSEventStreamRef SimFileEventStreams::create(FSEventStreamCallback callback, std::vector<std::string> paths,
                                             FSEventStreamEventId, Seconds latency, uint32_t flags) {
    Value::Array watched;
    for (const std::string& p : paths) watched.push_back(Value::string(p));
    sim_.record("FSEventStreamCreate", Value::array({Value::array(std::move(watched)), Value::number(latency),
                                                     Value::number(int64_t(flags))}));
    std::lock_guard lock(mutex_);
    if (refuseCreate || paths.empty() || !callback) return 0;
    const FSEventStreamRef ref = nextRef_++;
    Live& live = streams_[ref];
    live.info.paths = std::move(paths);
    live.info.latency = latency;
    live.info.flags = flags;
    live.callback = std::move(callback);
    return ref;
}

void SimFileEventStreams::setDispatchQueue(FSEventStreamRef ref, std::shared_ptr<Queue> queue) {
    std::lock_guard lock(mutex_);
    if (auto it = streams_.find(ref); it != streams_.end()) it->second.queue = std::move(queue);
}

bool SimFileEventStreams::start(FSEventStreamRef ref) {
    sim_.record("FSEventStreamStart", Value::number(int64_t(ref)));
    std::lock_guard lock(mutex_);
    auto it = streams_.find(ref);
    // A stream needs somewhere to deliver before it starts.
    if (it == streams_.end() || it->second.info.invalidated || !it->second.queue) return false;
    it->second.info.started = true;
    return true;
}

void SimFileEventStreams::stop(FSEventStreamRef ref) {
    sim_.record("FSEventStreamStop", Value::number(int64_t(ref)));
    std::lock_guard lock(mutex_);
    if (auto it = streams_.find(ref); it != streams_.end()) it->second.info.started = false;
}

void SimFileEventStreams::invalidate(FSEventStreamRef ref) {
    sim_.record("FSEventStreamInvalidate", Value::number(int64_t(ref)));
    std::lock_guard lock(mutex_);
    auto it = streams_.find(ref);
    if (it == streams_.end()) return;
    it->second.info.invalidated = true;
    it->second.info.started = false;
    if (it->second.delivery) it->second.delivery->cancel();
    it->second.pending.clear();
}

void SimFileEventStreams::release(FSEventStreamRef ref) {
    sim_.record("FSEventStreamRelease", Value::number(int64_t(ref)));
    std::lock_guard lock(mutex_);
    auto it = streams_.find(ref);
    if (it == streams_.end()) return;
    it->second.info.released = true;
    it->second.callback = nullptr;  // the stream lets go of its context
}

void SimFileEventStreams::post(const std::string& path, uint32_t flags) {
    std::lock_guard lock(mutex_);
    for (auto& [ref, live] : streams_) {
        if (!live.info.started) continue;
        bool watched = false;
        for (const std::string& root : live.info.paths) watched = watched || watches(root, path);
        if (!watched) continue;
        live.pending.push_back({path, flags, nextEventID_++});
        if (live.delivery) continue;  // gathered into the delivery already on its way
        const FSEventStreamRef r = ref;
        live.delivery = live.queue->asyncAfter(live.info.latency, [this, r] { deliver(r); });
    }
}

void SimFileEventStreams::deliver(FSEventStreamRef ref) {
    FSEventStreamCallback callback;
    std::vector<FSEvent> events;
    {
        std::lock_guard lock(mutex_);
        auto it = streams_.find(ref);
        if (it == streams_.end()) return;
        Live& live = it->second;
        live.delivery.reset();
        if (!live.info.started || live.pending.empty() || !live.callback) {
            live.pending.clear();
            return;
        }
        events = std::exchange(live.pending, {});
        callback = live.callback;
        ++live.info.deliveries;
    }
    callback(ref, events);
}

std::map<FSEventStreamRef, SimFileEventStreams::Stream> SimFileEventStreams::streams() const {
    std::lock_guard lock(mutex_);
    std::map<FSEventStreamRef, Stream> out;
    for (const auto& [ref, live] : streams_) out[ref] = live.info;
    return out;
}

}  // namespace qv
