#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Accessibility.h"
#include "tracking/AXWindowID.h"

namespace qv {

// The time one action of the user may spend waiting on other applications' Accessibility answers,
// its retry and later steps included. Every request carries a messaging time-out of at most 0.25 s
// and never more than is left; once nothing is left, requests fail at once without being sent. So
// a hung application holds the program at most 0.5 s per action. The steps of one action share
// one budget (held by a shared pointer); main thread only.
class AXRequestBudget {
  public:
    static constexpr Seconds kPerAction = 0.5;
    static constexpr Seconds kPerRequest = 0.25;
    static constexpr Seconds kLeastWait = 0.001;

    AXRequestBudget(Accessibility& ax, Runtime& runtime, Seconds total = kPerAction)
        : ax_(ax), runtime_(runtime), left_(total) {}

    Seconds left() const { return left_; }

    // Sends one request about `element` within what is left.
    template <class Send>
    AXError request(const AXElement& element, Send&& send) {
        // Under a millisecond (or what a float time-out rounds away) no answer could come.
        if (left_ < kLeastWait) return kAXErrorCannotComplete;
        (void)ax_.setMessagingTimeout(element, static_cast<float>(std::min(kPerRequest, left_)));
        const Seconds start = runtime_.now();
        const AXError result = send();
        left_ -= runtime_.now() - start;
        return result;
    }

    AXError copyAttributeValue(const AXElement& element, const std::string& attribute, Value& value) {
        return request(element, [&] { return ax_.copyAttributeValue(element, attribute, value); });
    }
    AXError setAttributeValue(const AXElement& element, const std::string& attribute, const Value& value) {
        return request(element, [&] { return ax_.setAttributeValue(element, attribute, value); });
    }
    AXError performAction(const AXElement& element, const std::string& action) {
        return request(element, [&] { return ax_.performAction(element, action); });
    }
    // The private window-id lookup, asked within this budget; empty stays empty.
    AXGetWindowFunction bounded(const AXGetWindowFunction& axGetWindow) {
        if (!axGetWindow) return {};
        return [this, axGetWindow](const AXElement& element, uint32_t& id) {
            return request(element, [&] { return axGetWindow(element, id); });
        };
    }

  private:
    Accessibility& ax_;
    Runtime& runtime_;
    Seconds left_;
};

// The "AXWindows" of an application element: none when the request fails or gives no list of
// elements.
std::optional<std::vector<AXElement>> copyAXWindows(AXRequestBudget& budget, const AXElement& appElement);
// The first window element of the application with the window-server id; none without a match.
std::optional<AXElement> findAXWindow(AXRequestBudget& budget, const AXGetWindowFunction& axGetWindow,
                                      const AXElement& appElement, uint32_t windowID);

}  // namespace qv
