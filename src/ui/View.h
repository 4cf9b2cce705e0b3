#pragma once

#include <functional>
#include <memory>

#include "dispatch/Published.h"
#include "ui/Node.h"

namespace qv {

// A view: an object whose members are its state and whose body() builds a fresh node tree. The
// hosting view evaluates the body again whenever the view asks for it (setNeedsUpdate) or a
// published value it observes changes; several requests in one turn of the main queue make one
// evaluation.
class View {
  public:
    virtual ~View() = default;
    virtual Node body() = 0;
    // Whether the body would now be built from other inputs than at its last evaluation. Before an
    // update that only the root view's observations asked for (setNeedsUpdateIfInputsChanged), the
    // hosting view asks it: false leaves the display list as it is. A view that cannot tell says true.
    virtual bool inputsChanged() { return true; }

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
    // The same, for values the view's inputsChanged() covers: an assignment that changes none of the
    // view's inputs leaves the view as it is.
    template <class T>
    void observeInputs(Published<T>& value) {
        subscriptions_.push_back(
            value.subscribeToChanges([this](const T&) { setNeedsUpdateIfInputsChanged(); }));
    }
    void setNeedsUpdateIfInputsChanged() {
        if (invalidateIfInputsChanged_) {
            invalidateIfInputsChanged_();
        } else {
            setNeedsUpdate();
        }
    }

  private:
    friend class HostingView;
    std::function<void()> invalidate_;
    std::function<void()> invalidateIfInputsChanged_;  // the root view's; none for the others
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
