#include "platform/NotificationCenter.h"

#include <algorithm>

namespace qv {

Subscription NotificationCenter::addObserver(std::string name, std::shared_ptr<Queue> queue,
                                             Handler handler) {
    auto obs = std::make_shared<Observer>();
    obs->name = std::move(name);
    obs->queue = std::move(queue);
    obs->handler = std::move(handler);
    {
        std::lock_guard lock(state_->mutex);
        auto next = std::make_shared<List>(*state_->observers);
        next->push_back(obs);
        state_->observers = std::move(next);
    }
    std::weak_ptr<State> weakState = state_;
    std::weak_ptr<Observer> weak = obs;
    return Subscription([weakState, weak] {
        auto o = weak.lock();
        if (!o) return;
        o->active = false;
        auto state = weakState.lock();
        if (!state) return;
        std::lock_guard lock(state->mutex);
        auto next = std::make_shared<List>(*state->observers);
        std::erase(*next, o);
        state->observers = std::move(next);
    });
}

void NotificationCenter::post(const Notification& n) {
    std::shared_ptr<const List> snapshot;
    {
        std::lock_guard lock(state_->mutex);
        snapshot = state_->observers;
    }
    for (const auto& o : *snapshot) {
        if (o->name != n.name || !o->active) continue;
        if (o->queue) {
            std::weak_ptr<Observer> weak = o;
            o->queue->async([weak, n] {
                auto obs = weak.lock();
                if (obs && obs->active) obs->handler(n);
            });
        } else {
            o->handler(n);
        }
    }
}

size_t NotificationCenter::observerCount(const std::string& name) const {
    std::lock_guard lock(state_->mutex);
    return static_cast<size_t>(std::count_if(state_->observers->begin(), state_->observers->end(),
                                             [&](const auto& o) { return o->name == name && o->active; }));
}

}  // namespace qv
