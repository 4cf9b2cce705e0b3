#pragma once

#include <cstdint>
#include <functional>

namespace qv {

// An Accessibility element of another process: an opaque handle the Accessibility service hands
// out. Two handles are equal when they name the same element (the platform's CFEqual).
class AXElement {
  public:
    AXElement() = default;
    AXElement(int32_t pid, uint64_t token) : pid_(pid), token_(token) {}

    // The process the handle was made for; reading the pid through the service can still fail.
    int32_t ownerPID() const { return pid_; }
    // Token 0 is the application element of the process.
    uint64_t token() const { return token_; }
    bool isApplication() const { return token_ == 0; }
    bool isValid() const { return pid_ != 0 || token_ != 0; }

    friend bool operator==(const AXElement&, const AXElement&) = default;

  private:
    int32_t pid_ = 0;
    uint64_t token_ = 0;
};

}  // namespace qv

template <>
struct std::hash<qv::AXElement> {
    size_t operator()(const qv::AXElement& e) const noexcept {
        return std::hash<uint64_t>()(e.token()) ^ (std::hash<int32_t>()(e.ownerPID()) << 1);
    }
};
