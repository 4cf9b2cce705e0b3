#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/LaunchServices.h"

namespace qv {

class SimDesktop;
struct SimApp;

// The session the private calls answer for (kLSDefaultSessionID, -2 as a signed value).
inline constexpr uint32_t kSimLSDefaultSessionID = 0xFFFFFFFE;

// The serial number LaunchServices gives a running application, and its text as lsappinfo prints
// it ("0x0-0x190190").
LSASN simASN(int32_t pid);
std::string simASNText(const LSASN& asn);

// LaunchServices answered from the simulated applications: every application that has not quit,
// in pid order, with its bundle identifier, name, pid and, when it has one, its Dock badge under
// "StatusLabel" / "label".
class SimLaunchServices : public LaunchServices {
  public:
    explicit SimLaunchServices(SimDesktop& sim) : sim_(sim) {}

    std::optional<LSASNArray> copyRunningApplicationArray(uint32_t sessionID) override;
    std::optional<Value> copyApplicationInformation(uint32_t sessionID, const LSASN& asn,
                                                    const std::optional<Value>& keys) override;

    // Replacements for the answers; when set, the call answers with what they return.
    std::function<std::optional<LSASNArray>()> runningApplicationArrayOverride;
    std::function<std::optional<Value>(const LSASN& asn)> applicationInformationOverride;

  private:
    const SimApp* runningApp(const LSASN& asn) const;
    SimDesktop& sim_;
};

}  // namespace qv
