#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "dispatch/CancellationToken.h"
#include "dispatch/Runtime.h"
#include "platform/Image.h"
#include "platform/ScreenCapture.h"

namespace qv {

// The one source of still pictures of other applications' windows: full-size pictures for the
// hover pop-up and small ones (at most 420 pixels on the longer side) for the window switcher, each
// kind in a bounded cache of its own. Captures that start within 2 s of a listing of capturable
// windows share it, and concurrent captures share the one listing request in flight. At most four
// switcher captures run at once. Every platform request gets 5 s to answer; one that does not is
// taken as failed, and its late answer is dropped.
//
// Any thread may call. The caches, the listing and the slots are guarded by one mutex, never held
// while the platform or a caller is called; the work runs on the service's own queue and on
// whatever thread the platform answers on. Completions come on the main queue, exactly once each.
class ThumbnailService : public std::enable_shared_from_this<ThumbnailService> {
    struct Token {};

  public:
    using ImageHandler = std::function<void(std::shared_ptr<const Image>)>;

    static constexpr const char* kQueueLabel = "com.quillvorn.thumbnails";
    static constexpr size_t kMaxCacheSize = 50;
    static constexpr size_t kMaxSwitcherCacheSize = 120;
    static constexpr Seconds kCacheTTL = 30.0;
    static constexpr Seconds kContentTTL = 2.0;
    static constexpr Seconds kRequestTimeout = 5.0;
    static constexpr int kSwitcherCaptureLimit = 4;
    static constexpr double kSwitcherMaxPixelDimension = 420.0;

    static std::shared_ptr<ThumbnailService> create(Runtime& runtime, ScreenCapture& capture);
    ThumbnailService(Token, Runtime& runtime, ScreenCapture& capture);
    ThumbnailService(const ThumbnailService&) = delete;
    ThumbnailService& operator=(const ThumbnailService&) = delete;

    // The instance the composition root installed; none until then.
    static std::shared_ptr<ThumbnailService> shared();
    static void setShared(std::shared_ptr<ThumbnailService> service);

    // The pop-up's picture: a fresh cached one, else a new full-size capture, else the cached one
    // of any age, else none. A capture finished after `token` was cancelled is not kept.
    void thumbnail(uint32_t windowID, ImageHandler completion, CancellationTokenPtr token = nullptr);
    // The cached pop-up picture of any age, without capturing.
    std::shared_ptr<const Image> cachedThumbnail(uint32_t windowID) const;
    // Starts full-size captures of the windows without a fresh picture, and returns at once; of
    // more such windows than the cache holds, the first of the list.
    void prefetch(const std::vector<uint32_t>& windowIDs);
    // Waits for one of the four slots, then captures at most 420 pixels on the longer side into
    // the switcher's cache (also when `token` was cancelled meanwhile). A token already cancelled
    // when the slot comes passes the slot on and answers none.
    void captureSwitcherThumbnail(uint32_t windowID, CancellationTokenPtr token, ImageHandler completion);
    // The switcher's picture of any age, else the pop-up's, else none.
    std::shared_ptr<const Image> cachedSwitcherThumbnail(uint32_t windowID) const;
    // The switcher's cache holds a picture younger than `maxAge`.
    bool isSwitcherThumbnailFresh(uint32_t windowID, Seconds maxAge) const;

    // --- What a caller may inspect ---
    size_t cacheCount() const;
    size_t switcherCacheCount() const;
    int runningSwitcherCaptures() const;
    size_t waitingSwitcherCaptures() const;
    bool isListingRequested() const;

  private:
    // A listing of capturable windows, with where each window first stands in it.
    struct Listing {
        explicit Listing(SCShareableContent listed);
        const SCWindow* window(uint32_t windowID) const;

        SCShareableContent content;
        std::unordered_map<uint32_t, size_t> firstIndexByID;
    };
    using ContentPtr = std::shared_ptr<const Listing>;
    using ContentHandler = std::function<void(ContentPtr)>;

    struct CachedThumbnail {
        std::shared_ptr<const Image> image;
        Seconds capturedAt = 0;
        uint64_t order = 0;  // breaks ties of equal times: the earlier store goes first
    };
    using Cache = std::map<uint32_t, CachedThumbnail>;

    // Stores over an entry as it is; a new window in a full cache first evicts the oldest entry.
    void store(Cache& cache, size_t capacity, uint32_t windowID, std::shared_ptr<const Image> image);
    std::shared_ptr<const Image> freshImage(uint32_t windowID) const;
    std::shared_ptr<const Image> staleImage(uint32_t windowID) const;

    // These answer on any thread, without the main-queue hop.
    void loadThumbnail(uint32_t windowID, CancellationTokenPtr token, ImageHandler done);
    void fetchShareableContent(ContentHandler done);
    void finishContentRequest(uint64_t request, ContentPtr content);
    void captureWindow(uint32_t windowID, std::optional<double> maxPixelDimension, ImageHandler done);
    void acquireSwitcherSlot(std::function<void()> granted);
    void releaseSwitcherSlot();
    void deliver(const ImageHandler& completion, std::shared_ptr<const Image> image);

    Runtime& runtime_;
    ScreenCapture& capture_;
    std::shared_ptr<Queue> queue_;

    mutable std::mutex stateLock_;
    Cache cache_;
    Cache switcherCache_;
    uint64_t storeOrder_ = 0;
    ContentPtr cachedContent_;
    Seconds cachedContentTimestamp_ = -1e300;  // the distant past
    uint64_t contentRequest_ = 0;              // the listing request in flight; 0: none
    uint64_t lastContentRequest_ = 0;
    std::vector<ContentHandler> contentWaiters_;
    int runningSwitcherCaptures_ = 0;
    std::deque<std::function<void()>> switcherWaiters_;
};

}  // namespace qv
