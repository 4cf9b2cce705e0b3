#include "app/BadgesDemo.h"

#include "model/BadgeService.h"

namespace qv {

void printBadges(Platform& platform, RealRuntime& runtime, std::ostream& out) {
    auto service =
        std::make_shared<BadgeService>(platform.runtime, platform.processes, platform.launchServices);
    BadgeService::setShared(service);
    service->start();
    bool published = runtime.runMainUntil(
        [&] { return !service->badgesByBundleID->empty() || !service->attentionByBundleID->empty(); },
        BadgeService::kFirstPollDelay + LSAppInfo::kRunTimeout * 2 + 1.0);

    out << "\nBadges\n";
    if (!published) out << "  (no answer from lsappinfo)\n";
    for (const auto& [bundleID, label] : *service->badgesByBundleID)
        out << "  " << bundleID << "  " << label << "\n";
    if (published && service->badgesByBundleID->empty()) out << "  (none)\n";
    out << "\nAttention\n";
    for (const std::string& bundleID : *service->attentionByBundleID) out << "  " << bundleID << "\n";
    if (service->attentionByBundleID->empty()) out << "  (none)\n";

    // The service must not outlive the runtime and platform it was given.
    BadgeService::setShared(nullptr);
}

}  // namespace qv
