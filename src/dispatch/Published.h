#pragma once

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace qv {

// Keeps a subscription alive; destroying or cancelling it unsubscribes.
class Subscription {
  public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    Subscription(Subscription&& o) noexcept : cancel_(std::exchange(o.cancel_, nullptr)) {}
    Subscription& operator=(Subscription&& o) noexcept {
        if (this != &o) {
            cancel();
            cancel_ = std::exchange(o.cancel_, nullptr);
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { cancel(); }

    void cancel() {
        if (auto c = std::exchange(cancel_, nullptr)) c();
    }
    bool isActive() const { return static_cast<bool>(cancel_); }

  private:
    std::function<void()> cancel_;
};

using Subscriptions = std::vector<Subscription>;

// An observable property. A subscriber gets the current value at once, then every assigned value
// at the moment of assignment, before the stored value changes (the platform's "will set"
// semantics): code that reads the property itself instead of the delivered value must defer the
// read. Main-thread only, like the models that own them.
template <class T>
class Published {
  public:
    using Handler = std::function<void(const T&)>;

    Published() = default;
    explicit Published(T initial) : value_(std::move(initial)) {}
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    const T& get() const { return value_; }
    const T& operator*() const { return value_; }
    const T* operator->() const { return &value_; }

    void set(T newValue) {
        auto subs = *subscribers_;  // a handler may subscribe or cancel while we notify
        for (const auto& s : subs) {
            if (s->active) s->handler(newValue);
        }
        value_ = std::move(newValue);
    }
    Published& operator=(T newValue) {
        set(std::move(newValue));
        return *this;
    }
    // Assigns like set() and hands back the value it replaced, whose storage the caller may reuse
    // for the next assignment.
    [[nodiscard]] T exchange(T newValue) {
        auto subs = *subscribers_;
        for (const auto& s : subs) {
            if (s->active) s->handler(newValue);
        }
        std::swap(value_, newValue);
        return newValue;
    }

    // Changes the stored value where it stands, then delivers it: for a large value that changes a
    // little at a time, where a copy per change would cost more than the change. Unlike an
    // assignment, a subscriber that reads the property itself finds the new value already there.
    template <class F>
    void update(F&& change) {
        change(value_);
        auto subs = *subscribers_;
        for (const auto& s : subs) {
            if (s->active) s->handler(value_);
        }
    }

    [[nodiscard]] Subscription subscribe(Handler handler) {
        auto sub = std::make_shared<Sub>(Sub{std::move(handler), true});
        subscribers_->push_back(sub);
        std::weak_ptr<std::vector<std::shared_ptr<Sub>>> list = subscribers_;
        std::weak_ptr<Sub> weakSub = sub;
        sub->handler(value_);
        return Subscription([list, weakSub] {
            auto l = list.lock();
            auto s = weakSub.lock();
            if (!l || !s) return;
            s->active = false;
            std::erase(*l, s);
        });
    }
    // Subscribes without the current value: only assignments from now on.
    [[nodiscard]] Subscription subscribeToChanges(Handler handler) {
        bool first = true;
        return subscribe([first, handler = std::move(handler)](const T& v) mutable {
            if (std::exchange(first, false)) return;
            handler(v);
        });
    }

  private:
    struct Sub {
        Handler handler;
        bool active;
    };
    T value_{};
    std::shared_ptr<std::vector<std::shared_ptr<Sub>>> subscribers_ =
        std::make_shared<std::vector<std::shared_ptr<Sub>>>();
};

}  // namespace qv
