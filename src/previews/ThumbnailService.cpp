#include "previews/ThumbnailService.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <set>
#include <utility>

namespace qv {

namespace {

std::mutex& sharedMutex() {
    static std::mutex m;
    return m;
}
std::shared_ptr<ThumbnailService>& sharedInstance() {
    static std::shared_ptr<ThumbnailService> instance;
    return instance;
}

// A platform answer that counts once: the first of the answer itself (however often the platform
// gives it) and the deadline, after which the request counts as failed with `fallback`.
template <class T>
std::function<void(T)> answerOnceWithin(Queue& queue, Seconds deadline, T fallback,
                                        std::function<void(T)> done) {
    struct Shared {
        std::mutex lock;
        std::function<void(T)> done;
        std::weak_ptr<WorkItem> timer;  // the queue holds it, and it holds this
        // The one answer that counts, taken out under the lock; the timer goes with it.
        std::function<void(T)> take() {
            std::lock_guard guard(lock);
            if (auto t = timer.lock()) t->cancel();
            return std::exchange(done, nullptr);
        }
    };
    auto shared = std::make_shared<Shared>();
    shared->done = std::move(done);
    auto timer = queue.asyncAfter(deadline, [shared, fallback] {
        if (auto done = shared->take()) done(fallback);
    });
    {
        std::lock_guard guard(shared->lock);
        shared->timer = timer;
    }
    return [shared](T value) {
        if (auto done = shared->take()) done(std::move(value));
    };
}

}  // namespace

std::shared_ptr<ThumbnailService> ThumbnailService::create(Runtime& runtime, ScreenCapture& capture) {
    return std::make_shared<ThumbnailService>(Token{}, runtime, capture);
}

ThumbnailService::ThumbnailService(Token, Runtime& runtime, ScreenCapture& capture)
    : runtime_(runtime),
      capture_(capture),
      queue_(runtime.makeSerialQueue(kQueueLabel, QoS::userInitiated)) {}

std::shared_ptr<ThumbnailService> ThumbnailService::shared() {
    std::lock_guard lock(sharedMutex());
    return sharedInstance();
}

void ThumbnailService::setShared(std::shared_ptr<ThumbnailService> service) {
    std::shared_ptr<ThumbnailService> previous;
    {
        std::lock_guard lock(sharedMutex());
        previous = std::exchange(sharedInstance(), std::move(service));
    }
}

// --- Caches ---

void ThumbnailService::store(Cache& cache, size_t capacity, uint32_t windowID,
                             std::shared_ptr<const Image> image) {
    // Only a new window makes room: replacing a picture must not cost another window its own.
    if (!cache.count(windowID) && cache.size() >= capacity) {
        auto oldest = cache.end();
        for (auto it = cache.begin(); it != cache.end(); ++it) {
            if (oldest == cache.end() || it->second.capturedAt < oldest->second.capturedAt ||
                (it->second.capturedAt == oldest->second.capturedAt &&
                 it->second.order < oldest->second.order)) {
                oldest = it;
            }
        }
        if (oldest != cache.end()) cache.erase(oldest);
    }
    cache[windowID] = CachedThumbnail{std::move(image), runtime_.now(), ++storeOrder_};
}

std::shared_ptr<const Image> ThumbnailService::freshImage(uint32_t windowID) const {
    auto it = cache_.find(windowID);
    if (it == cache_.end() || runtime_.now() - it->second.capturedAt >= kCacheTTL) return nullptr;
    return it->second.image;
}

std::shared_ptr<const Image> ThumbnailService::staleImage(uint32_t windowID) const {
    auto it = cache_.find(windowID);
    return it == cache_.end() ? nullptr : it->second.image;
}

std::shared_ptr<const Image> ThumbnailService::cachedThumbnail(uint32_t windowID) const {
    std::lock_guard lock(stateLock_);
    return staleImage(windowID);
}

std::shared_ptr<const Image> ThumbnailService::cachedSwitcherThumbnail(uint32_t windowID) const {
    std::lock_guard lock(stateLock_);
    auto it = switcherCache_.find(windowID);
    if (it != switcherCache_.end()) return it->second.image;
    return staleImage(windowID);
}

bool ThumbnailService::isSwitcherThumbnailFresh(uint32_t windowID, Seconds maxAge) const {
    std::lock_guard lock(stateLock_);
    auto it = switcherCache_.find(windowID);
    return it != switcherCache_.end() && runtime_.now() - it->second.capturedAt < maxAge;
}

// --- The pop-up's pictures ---

void ThumbnailService::thumbnail(uint32_t windowID, ImageHandler completion, CancellationTokenPtr token) {
    std::weak_ptr<ThumbnailService> weak = weak_from_this();
    loadThumbnail(windowID, std::move(token), [weak, completion = std::move(completion)](auto image) {
        if (auto self = weak.lock()) self->deliver(completion, std::move(image));
    });
}

void ThumbnailService::loadThumbnail(uint32_t windowID, CancellationTokenPtr token, ImageHandler done) {
    std::shared_ptr<const Image> fresh;
    {
        std::lock_guard lock(stateLock_);
        fresh = freshImage(windowID);
    }
    if (fresh) {
        done(std::move(fresh));
        return;
    }
    captureWindow(windowID, std::nullopt,
                  [weak = weak_from_this(), windowID, token, done = std::move(done)](auto image) {
                      auto self = weak.lock();
                      if (!self) return;
                      std::shared_ptr<const Image> result;
                      {
                          std::lock_guard lock(self->stateLock_);
                          if (image && !isCancelled(token)) {
                              self->store(self->cache_, kMaxCacheSize, windowID, image);
                              result = std::move(image);
                          } else {
                              result = self->staleImage(windowID);
                          }
                      }
                      done(std::move(result));
                  });
}

void ThumbnailService::prefetch(const std::vector<uint32_t>& windowIDs) {
    std::vector<uint32_t> missing;
    {
        std::lock_guard lock(stateLock_);
        std::set<uint32_t> seen;
        for (uint32_t id : windowIDs) {
            // More windows than the cache keeps would push out the first pictures as the last come
            // in, only to be taken again at the next hover: the first of the list are warmed.
            if (seen.size() == kMaxCacheSize) break;
            if (seen.insert(id).second && !freshImage(id)) missing.push_back(id);
        }
    }
    if (missing.empty()) return;
    queue_->async([weak = weak_from_this(), missing = std::move(missing)] {
        auto self = weak.lock();
        if (!self) return;
        // The listing first, so that every capture below finds it fresh.
        self->fetchShareableContent([weak, missing](ContentPtr) {
            for (uint32_t id : missing) {
                if (auto service = weak.lock()) service->loadThumbnail(id, nullptr, [](auto) {});
            }
        });
    });
}

// --- The switcher's pictures ---

void ThumbnailService::captureSwitcherThumbnail(uint32_t windowID, CancellationTokenPtr token,
                                                ImageHandler completion) {
    acquireSwitcherSlot([weak = weak_from_this(), windowID, token, completion = std::move(completion)] {
        auto self = weak.lock();
        if (!self) return;
        if (isCancelled(token)) {
            self->releaseSwitcherSlot();
            self->deliver(completion, nullptr);
            return;
        }
        self->captureWindow(windowID, kSwitcherMaxPixelDimension, [weak, windowID, completion](auto image) {
            auto self = weak.lock();
            if (!self) return;
            self->releaseSwitcherSlot();
            if (image) {
                // Kept even for a caller that stopped waiting: the next opening wants it.
                std::lock_guard lock(self->stateLock_);
                self->store(self->switcherCache_, kMaxSwitcherCacheSize, windowID, image);
            }
            self->deliver(completion, std::move(image));
        });
    });
}

void ThumbnailService::acquireSwitcherSlot(std::function<void()> granted) {
    {
        std::lock_guard lock(stateLock_);
        if (runningSwitcherCaptures_ >= kSwitcherCaptureLimit) {
            switcherWaiters_.push_back(std::move(granted));
            return;
        }
        ++runningSwitcherCaptures_;
    }
    queue_->async(std::move(granted));
}

void ThumbnailService::releaseSwitcherSlot() {
    std::function<void()> next;
    {
        std::lock_guard lock(stateLock_);
        if (switcherWaiters_.empty()) {
            --runningSwitcherCaptures_;
            return;
        }
        // The slot passes to the oldest waiter before any newcomer can take it.
        next = std::move(switcherWaiters_.front());
        switcherWaiters_.pop_front();
    }
    queue_->async(std::move(next));
}

// --- The platform ---

ThumbnailService::Listing::Listing(SCShareableContent listed) : content(std::move(listed)) {
    // Looked up once per capture: the first of a window's entries is the one captured.
    firstIndexByID.reserve(content.windows.size());
    for (size_t i = 0; i < content.windows.size(); ++i)
        firstIndexByID.emplace(content.windows[i].windowID, i);
}

const SCWindow* ThumbnailService::Listing::window(uint32_t windowID) const {
    auto it = firstIndexByID.find(windowID);
    return it == firstIndexByID.end() ? nullptr : &content.windows[it->second];
}

void ThumbnailService::fetchShareableContent(ContentHandler done) {
    uint64_t request = 0;
    ContentPtr fresh;
    {
        std::lock_guard lock(stateLock_);
        if (cachedContent_ && runtime_.now() - cachedContentTimestamp_ < kContentTTL) {
            fresh = cachedContent_;
        } else {
            contentWaiters_.push_back(std::move(done));
            if (contentRequest_ == 0) request = contentRequest_ = ++lastContentRequest_;
        }
    }
    if (fresh) {
        // `done` was kept for later only when there was no fresh content.
        done(std::move(fresh));  // NOLINT(bugprone-use-after-move)
        return;
    }
    if (request == 0) return;  // joined the request in flight
    auto answer = answerOnceWithin<ContentPtr>(
        *queue_, kRequestTimeout, nullptr, [weak = weak_from_this(), request](ContentPtr content) {
            if (auto self = weak.lock()) self->finishContentRequest(request, std::move(content));
        });
    capture_.getShareableContent(false, false, [answer](auto content, auto) {
        answer(content ? std::make_shared<const Listing>(std::move(*content)) : nullptr);
    });
}

void ThumbnailService::finishContentRequest(uint64_t request, ContentPtr content) {
    std::vector<ContentHandler> waiters;
    {
        std::lock_guard lock(stateLock_);
        if (contentRequest_ != request) return;
        if (content) {
            cachedContent_ = content;
            cachedContentTimestamp_ = runtime_.now();
        }
        contentRequest_ = 0;
        waiters.swap(contentWaiters_);
    }
    for (auto& waiter : waiters) waiter(content);
}

void ThumbnailService::captureWindow(uint32_t windowID, std::optional<double> maxPixelDimension,
                                     ImageHandler done) {
    fetchShareableContent(
        [weak = weak_from_this(), windowID, maxPixelDimension, done = std::move(done)](ContentPtr content) {
            auto self = weak.lock();
            if (!self || !content) {
                done(nullptr);
                return;
            }
            const SCWindow* window = content->window(windowID);
            if (!window) {
                done(nullptr);
                return;
            }
            const Rect& frame = window->frame;
            double scale = 1.0;
            const double longer = std::max(frame.width(), frame.height());
            if (maxPixelDimension && longer > *maxPixelDimension) scale = *maxPixelDimension / longer;
            // However large the window, the size asked for is a number of pixels the platform can
            // hold; the platform itself scales a capture down to what a display can show.
            auto pixels = [](double points) {
                return static_cast<int>(std::clamp(std::trunc(points), 1.0, double(std::numeric_limits<int>::max())));
            };
            SCStreamConfiguration config;
            config.width = pixels(frame.width() * scale);
            config.height = pixels(frame.height() * scale);
            config.scalesToFit = true;
            config.showsCursor = false;
            config.captureResolution = SCCaptureResolution::nominal;
            auto answer =
                answerOnceWithin<std::shared_ptr<const Image>>(*self->queue_, kRequestTimeout, nullptr, done);
            self->capture_.captureImage(SCContentFilter::desktopIndependentWindow(*window), config,
                                        [answer](auto image, auto) { answer(std::move(image)); });
        });
}

void ThumbnailService::deliver(const ImageHandler& completion, std::shared_ptr<const Image> image) {
    if (!completion) return;
    runtime_.mainQueue()->async([completion, image = std::move(image)] { completion(image); });
}

// --- Inspection ---

size_t ThumbnailService::cacheCount() const {
    std::lock_guard lock(stateLock_);
    return cache_.size();
}

size_t ThumbnailService::switcherCacheCount() const {
    std::lock_guard lock(stateLock_);
    return switcherCache_.size();
}

int ThumbnailService::runningSwitcherCaptures() const {
    std::lock_guard lock(stateLock_);
    return runningSwitcherCaptures_;
}

size_t ThumbnailService::waitingSwitcherCaptures() const {
    std::lock_guard lock(stateLock_);
    return switcherWaiters_.size();
}

bool ThumbnailService::isListingRequested() const {
    std::lock_guard lock(stateLock_);
    return contentRequest_ != 0;
}

}  // namespace qv
