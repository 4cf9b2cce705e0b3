#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "dispatch/Published.h"
#include "dispatch/Runtime.h"
#include "model/LSAppInfo.h"
#include "platform/LaunchServices.h"
#include "platform/Processes.h"

namespace qv {

// Which attention requests the user has acknowledged by activating the application. An
// acknowledged request stays hidden for as long as the application keeps asking; once a poll has
// seen the request ended, the next request shows again. An application that leaves the running
// list loses its acknowledgement.
struct AttentionAcknowledgements {
    std::map<std::string, Seconds> acknowledgedBundleIDs;  // bundle identifier -> when acknowledged
    std::set<std::string> seenFalseAfterAck;

    void acknowledge(const std::string& bundleID, Seconds now);
    // One poll: the raw requests and the bundle identifiers of the running list give the requests
    // to show.
    std::set<std::string> apply(const std::set<std::string>& raw, const std::set<std::string>& listed);
    // The last step of a poll alone: applications no longer in the running list lose their
    // acknowledgement.
    void forgetUnlisted(const std::set<std::string>& listed);
};

// The bundle identifiers of the records whose serial number is among `asns`.
std::set<std::string> rawAttention(const std::vector<AppRecord>& records, const std::set<std::string>& asns);

// Dock badges and attention requests of the running applications, polled on a queue of its own and
// published on the main queue when they change. Held by a shared_ptr.
class BadgeService : public std::enable_shared_from_this<BadgeService> {
  public:
    static constexpr uint32_t kLSDefaultSessionID = 0xFFFFFFFE;  // -2
    static constexpr const char* kQueueLabel = "com.quillvorn.badges";
    static constexpr Seconds kFirstPollDelay = 0.5;
    static constexpr Seconds kPollInterval = 7.0;
    static constexpr Seconds kPollLeeway = 2.0;

    BadgeService(Runtime& runtime, Processes& processes, LaunchServices& launchServices);
    ~BadgeService();
    BadgeService(const BadgeService&) = delete;
    BadgeService& operator=(const BadgeService&) = delete;

    // The instance the composition root installed.
    static std::shared_ptr<BadgeService> shared();
    static void setShared(std::shared_ptr<BadgeService> service);

    // Main queue only.
    Published<std::map<std::string, std::string>> badgesByBundleID;  // bundle identifier -> badge label
    Published<std::set<std::string>> attentionByBundleID;

    // Starts polling: first 0.5 s from now, then every 7 s. A second call does nothing.
    void start();
    // The user has seen the application: its request stops showing, and its flag is cleared in the
    // system. Any thread; the work happens on the service's queue.
    void clearAttention(const std::string& bundleID);

    Seconds pollInterval() const { return pollInterval_; }
    const std::shared_ptr<RepeatingTimer>& timerSource() const { return timerSource_; }
    const std::shared_ptr<Queue>& queue() const { return queue_; }
    const LSAppInfo& lsappinfo() const { return lsappinfo_; }

    // Bundle identifier to badge label from LaunchServices' private calls; touches no state.
    std::map<std::string, std::string> fetchBadgesViaPrivateAPI() const;

  private:
    void fetchAndPublish();
    void clearAttentionOnQueue(const std::string& bundleID);
    void clearWantsAttentionViaLSAppInfo(const std::string& bundleID);

    Runtime& runtime_;
    LaunchServices& launchServices_;
    std::shared_ptr<Queue> queue_;
    std::shared_ptr<Queue> mainQueue_;
    std::shared_ptr<RepeatingTimer> timerSource_;
    const Seconds pollInterval_ = kPollInterval;
    LSAppInfo lsappinfo_;
    AttentionAcknowledgements acknowledgements_;  // on queue_ only
};

}  // namespace qv
