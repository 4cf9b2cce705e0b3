#include "model/BadgeService.h"

#include <mutex>

namespace qv {

namespace {

constexpr const char* kAttentionWanted = "kLSApplicationDesiresAttentionKey=true";
constexpr const char* kAttentionCleared = "kLSApplicationDesiresAttentionKey=false";

std::mutex& sharedMutex() {
    static std::mutex m;
    return m;
}

std::shared_ptr<BadgeService>& sharedInstance() {
    static std::shared_ptr<BadgeService> instance;
    return instance;
}

}  // namespace

void AttentionAcknowledgements::acknowledge(const std::string& bundleID, Seconds now) {
    acknowledgedBundleIDs[bundleID] = now;
    seenFalseAfterAck.erase(bundleID);
}

std::set<std::string> AttentionAcknowledgements::apply(const std::set<std::string>& raw,
                                                       const std::set<std::string>& listed) {
    std::set<std::string> computed;
    for (const std::string& id : raw) {
        auto acknowledged = acknowledgedBundleIDs.find(id);
        if (acknowledged == acknowledgedBundleIDs.end()) {
            computed.insert(id);
        } else if (seenFalseAfterAck.erase(id) > 0) {
            acknowledgedBundleIDs.erase(acknowledged);  // it asks again after its request had ended
            computed.insert(id);
        }
    }
    for (const auto& [id, when] : acknowledgedBundleIDs) {
        if (!raw.contains(id)) seenFalseAfterAck.insert(id);
    }
    forgetUnlisted(listed);
    return computed;
}

void AttentionAcknowledgements::forgetUnlisted(const std::set<std::string>& listed) {
    std::erase_if(acknowledgedBundleIDs, [&](const auto& entry) {
        if (listed.contains(entry.first)) return false;
        seenFalseAfterAck.erase(entry.first);
        return true;
    });
}

std::set<std::string> rawAttention(const std::vector<AppRecord>& records, const std::set<std::string>& asns) {
    std::set<std::string> raw;
    for (const AppRecord& r : records) {
        if (asns.contains(r.asn)) raw.insert(r.bundleID);
    }
    return raw;
}

BadgeService::BadgeService(Runtime& runtime, Processes& processes, LaunchServices& launchServices)
    : runtime_(runtime),
      launchServices_(launchServices),
      queue_(runtime.makeSerialQueue(kQueueLabel, QoS::utility)),
      mainQueue_(runtime.mainQueue()),
      lsappinfo_(processes) {}

BadgeService::~BadgeService() {
    if (timerSource_) timerSource_->cancel();
}

std::shared_ptr<BadgeService> BadgeService::shared() {
    std::lock_guard lock(sharedMutex());
    return sharedInstance();
}

void BadgeService::setShared(std::shared_ptr<BadgeService> service) {
    std::shared_ptr<BadgeService> previous;
    {
        std::lock_guard lock(sharedMutex());
        previous = std::exchange(sharedInstance(), std::move(service));
    }
}

void BadgeService::start() {
    if (timerSource_) return;
    std::weak_ptr<BadgeService> weak = weak_from_this();
    timerSource_ = queue_->scheduleTimer(kFirstPollDelay, pollInterval_, kPollLeeway, [weak] {
        if (auto self = weak.lock()) self->fetchAndPublish();
    });
}

void BadgeService::clearAttention(const std::string& bundleID) {
    std::weak_ptr<BadgeService> weak = weak_from_this();
    queue_->async([weak, bundleID] {
        if (auto self = weak.lock()) self->clearAttentionOnQueue(bundleID);
    });
}

void BadgeService::fetchAndPublish() {
    // A run that failed (not launched, timed out, unreadable output) says nothing about which
    // applications run or ask for attention: reading it as "none" would drop every acknowledgement
    // and every request shown. The requests and acknowledgements then stay as they are until a
    // poll that can read them; the badges come from LaunchServices and move on regardless.
    auto list = lsappinfo_.runLSAppInfo({"list"});
    const bool listRead = list && list->standardOutputDecoded;
    std::vector<AppRecord> records;
    std::set<std::string> listed;
    if (listRead) {
        records = lsappinfo_.parseListOutput(list->standardOutput);
        for (const AppRecord& r : records) listed.insert(r.bundleID);
    }

    auto badges = fetchBadgesViaPrivateAPI();

    std::optional<std::set<std::string>> computed;
    auto found = lsappinfo_.runLSAppInfo({"find", kAttentionWanted});
    if (listRead && found && found->standardOutputDecoded) {
        auto raw = rawAttention(records, lsappinfo_.parseFindOutputASNs(found->standardOutput));
        computed = acknowledgements_.apply(raw, listed);
    } else if (listRead) {
        acknowledgements_.forgetUnlisted(listed);  // those that quit lose their acknowledgement
    }

    std::weak_ptr<BadgeService> weak = weak_from_this();
    mainQueue_->async([weak, badges = std::move(badges), computed = std::move(computed)] {
        auto self = weak.lock();
        if (!self) return;
        if (self->badgesByBundleID.get() != badges) self->badgesByBundleID = badges;
        if (computed && self->attentionByBundleID.get() != *computed) self->attentionByBundleID = *computed;
    });
}

std::map<std::string, std::string> BadgeService::fetchBadgesViaPrivateAPI() const {
    std::map<std::string, std::string> result;
    auto apps = launchServices_.copyRunningApplicationArray(kLSDefaultSessionID);
    if (!apps || apps->empty()) return result;
    for (const std::optional<LSASN>& asn : *apps) {
        if (!asn) continue;
        auto info = launchServices_.copyApplicationInformation(kLSDefaultSessionID, *asn, std::nullopt);
        const Value::Dictionary* dictionary = info ? info->asDictionary() : nullptr;
        if (!dictionary) continue;
        const std::string* bundleID = valueFor(*dictionary, "CFBundleIdentifier").asString();
        const Value::Dictionary* status = valueFor(*dictionary, "StatusLabel").asDictionary();
        const std::string* label = status ? valueFor(*status, "label").asString() : nullptr;
        if (!bundleID || !label || label->empty()) continue;
        result[*bundleID] = *label;
    }
    return result;
}

void BadgeService::clearAttentionOnQueue(const std::string& bundleID) {
    acknowledgements_.acknowledge(bundleID, runtime_.now());
    clearWantsAttentionViaLSAppInfo(bundleID);
    std::weak_ptr<BadgeService> weak = weak_from_this();
    mainQueue_->async([weak, bundleID] {
        auto self = weak.lock();
        if (!self || !self->attentionByBundleID->contains(bundleID)) return;
        auto remaining = self->attentionByBundleID.get();
        remaining.erase(bundleID);
        self->attentionByBundleID = std::move(remaining);
    });
}

void BadgeService::clearWantsAttentionViaLSAppInfo(const std::string& bundleID) {
    auto list = lsappinfo_.runLSAppInfo({"list"});
    if (!list) return;
    std::optional<AppRecord> target;
    for (AppRecord& r : lsappinfo_.parseListOutput(list->standardOutput)) {
        if (r.bundleID == bundleID) {
            target = std::move(r);
            break;
        }
    }
    if (!target) return;
    auto byPID =
        lsappinfo_.runLSAppInfo({"setinfo", "-app", "pid:" + std::to_string(target->pid), kAttentionCleared});
    if (!byPID) return;  // not launched or timed out: the bundle identifier would fare no better
    if (byPID->exitStatus != 0 || (byPID->errCode && *byPID->errCode != 0)) {
        lsappinfo_.runLSAppInfo({"setinfo", "-app", bundleID, kAttentionCleared});
    }
}

}  // namespace qv
