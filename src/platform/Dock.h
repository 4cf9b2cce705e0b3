#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

// Names of the Dock's private entry points, looked up at run time.
namespace dockentry {
inline constexpr std::string_view kSendNotification = "CoreDockSendNotification";
}  // namespace dockentry

// The Dock's private calls (ApplicationServices). Methods mirror the platform calls one to one.
class Dock {
  public:
    virtual ~Dock() = default;

    // Whether an entry point of the Dock was found; callers ask before calling it and do without
    // the feature when it is missing.
    virtual bool hasEntryPoint(std::string_view name) = 0;

    // CoreDockSendNotification: hands the Dock a named notification with one argument. Only valid
    // when the entry point is present; the Dock reports nothing back.
    virtual void sendNotification(const std::string& name, int64_t argument) = 0;

    // CoreDockGetAutoHideEnabled / CoreDockSetAutoHideEnabled: the Dock's auto-hide switch. A running
    // Dock takes a new value into effect when it restarts.
    virtual bool getAutoHideEnabled() = 0;
    virtual void setAutoHideEnabled(bool enabled) = 0;
};

}  // namespace qv
