#pragma once

#include <optional>
#include <string>

#include "dispatch/Runtime.h"

namespace qv {

enum class AnimationCurve { linear, easeIn, easeOut, easeInOut, spring, defaultCurve };

// What an animation does, as the views and panels describe it; it runs on the runtime's clock.
struct Animation {
    AnimationCurve curve = AnimationCurve::defaultCurve;
    Seconds duration = 0.35;
    bool repeatForever = false;
    bool autoreverses = false;

    static Animation easeInOut(Seconds d) { return {AnimationCurve::easeInOut, d}; }
    static Animation easeOut(Seconds d) { return {AnimationCurve::easeOut, d}; }
    static Animation easeIn(Seconds d) { return {AnimationCurve::easeIn, d}; }
    static Animation linear(Seconds d) { return {AnimationCurve::linear, d}; }
    static Animation standard() { return {AnimationCurve::defaultCurve, 0.35}; }
    Animation repeatingForever(bool autoreverse) const {
        Animation a = *this;
        a.repeatForever = true;
        a.autoreverses = autoreverse;
        return a;
    }
    // The eased share of the way at `t` (0...1) of the duration.
    double progress(double t) const;
    friend bool operator==(const Animation&, const Animation&) = default;
};

// One animation that was started: what it animates, from which value to which, and when it began
// and ends. Repeating animations have no end.
struct AnimationRecord {
    std::string target;  // the animated view's identity, or a panel property ("frame", "alpha")
    Animation animation;
    std::string fromValue;
    std::string toValue;
    Seconds startTime = 0;
    bool completed = false;

    std::optional<Seconds> endTime() const {
        if (animation.repeatForever) return std::nullopt;
        return startTime + animation.duration;
    }
};

inline double Animation::progress(double t) const {
    if (t <= 0) return 0;
    if (t >= 1) return 1;
    switch (curve) {
        case AnimationCurve::linear:
            return t;
        case AnimationCurve::easeIn:
            return t * t;
        case AnimationCurve::easeOut:
            return 1 - (1 - t) * (1 - t);
        case AnimationCurve::easeInOut:
        case AnimationCurve::defaultCurve:
        case AnimationCurve::spring:
            return t < 0.5 ? 2 * t * t : 1 - 2 * (1 - t) * (1 - t);
    }
    return t;
}

}  // namespace qv
