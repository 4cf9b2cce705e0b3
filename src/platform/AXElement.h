#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace qv {

// What the Accessibility service keeps for one reference to an element (one AXUIElementRef
// object), such as the messaging timeout set on it. The service that hands out the reference
// decides what it holds.
class AXElementReference {
  public:
    virtual ~AXElementReference() = default;
};

// An Accessibility element of another process: an opaque handle the Accessibility service hands
// out. Two handles are equal when they name the same element (the platform's CFEqual). Each handle
// the service hands out is a reference of its own; copies of a handle share that reference, as
// retained references share their object, so a timeout set through one holder's reference does not
// reach another holder's reference to the same element.
class AXElement {
  public:
    AXElement() = default;
    AXElement(int32_t pid, uint64_t token, std::shared_ptr<AXElementReference> reference = nullptr)
        : pid_(pid), token_(token), reference_(std::move(reference)) {}

    // The process the handle was made for; reading the pid through the service can still fail.
    int32_t ownerPID() const { return pid_; }
    // Token 0 is the application element of the process.
    uint64_t token() const { return token_; }
    bool isApplication() const { return token_ == 0; }
    bool isValid() const { return pid_ != 0 || token_ != 0; }
    const std::shared_ptr<AXElementReference>& reference() const { return reference_; }

    friend bool operator==(const AXElement& a, const AXElement& b) {
        return a.pid_ == b.pid_ && a.token_ == b.token_;
    }

  private:
    int32_t pid_ = 0;
    uint64_t token_ = 0;
    std::shared_ptr<AXElementReference> reference_;
};

}  // namespace qv

template <>
struct std::hash<qv::AXElement> {
    size_t operator()(const qv::AXElement& e) const noexcept {
        return std::hash<uint64_t>()(e.token()) ^ (std::hash<int32_t>()(e.ownerPID()) << 1);
    }
};
