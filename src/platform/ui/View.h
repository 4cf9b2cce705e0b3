#pragma once

#include <functional>
#include <memory>

#include "platform/dispatch/Published.h"
#include "platform/ui/Node.h"

namespace qv {

// A view: an object whose members are its state and whose body() builds a fresh node tree. The
// hosting view evaluates the body again whenever the view asks for it (setNeedsUpdate) or a
// published value it observes changes; several requests in one turn of the main queue make one
// evaluation.
class View {
  public:
    virtual ~View() = default;
    virtual Node body() = 0;

    // Asks the hosting view that shows this view to evaluate the bodies again.
    void setNeedsUpdate() {
        if (invalidate_) invalidate_();
    }

    // The environment the body is being evaluated in (the colour scheme of the hosting panel...).
    const Environment& environment() const { return environment_; }

  protected:
    // Re-evaluates on every assignment of `value` from now on.
    template <class T>
    void observe(Published<T>& value) {
        subscriptions_.push_back(value.subscribeToChanges([this](const T&) { setNeedsUpdate(); }));
    }

  private:
    friend class HostingView;
    friend class LayoutPass;
    std::function<void()> invalidate_;
    Environment environment_;
    Subscriptions subscriptions_;
};

// A view built from a closure, for small views that need no members of their own.
class ClosureView : public View {
  public:
    explicit ClosureView(std::function<Node()> build) : build_(std::move(build)) {}
    Node body() override { return build_(); }

  private:
    std::function<Node()> build_;
};

}  // namespace qv
