#pragma once

#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

#include "platform/Geometry.h"

namespace qv {

// The windows that follow a dragged edge of a resized window, as if the edge were a divider
// between panes: windows facing it move their facing edge, and windows on the same side whose
// matching edge lines up move that edge too. Worked out once per edge from the frames captured when
// the resize began, so later movement never changes who follows. Top-left coordinates.
class AdjacentResizePlan {
  public:
    // In this order everywhere a plan walks its edges.
    enum class Edge { left, right, top, bottom };

    struct Window {
        uint32_t id = 0;
        int32_t pid = 0;
        Rect frame;
        friend bool operator==(const Window&, const Window&) = default;
    };
    struct Divider {
        std::vector<Window> sameSide;
        std::vector<Window> otherSide;
    };

    static constexpr double kAlignmentTolerance = 3;
    static constexpr double kMaxGap = 16;
    static constexpr double kMinOverlapShare = 0.4;
    static constexpr double kMinMovement = 0.5;
    static constexpr double kMinVisibleSide = 16;

    AdjacentResizePlan(Window target, std::vector<Window> candidates);

    // Whether a window is covered by the frames in front of it, save for pieces no more than 16 pt
    // wide or high.
    static bool isHidden(const Rect& frame, const std::vector<Rect>& inFront);

    // The divider of an edge, from the captured frames.
    Divider members(Edge edge) const;
    // Records the divider of each moved edge the first time it moves; an edge once recorded stays,
    // empty or not.
    void addDividers(const std::vector<Edge>& movedEdges);
    // The new frames of the followers that change for this frame of the target, by window id.
    // Every change is measured from the start of the resize; nothing is rounded.
    std::unordered_map<uint32_t, Rect> frames(const Rect& targetFrame) const;
    // Every window of any divider, once, in edge order, same side before other side.
    std::vector<Window> followers() const;

    const std::map<Edge, Divider>& dividers() const { return dividers_; }
    const Window& target() const { return target_; }
    const std::vector<Window>& candidates() const { return candidates_; }

  private:
    std::map<Edge, Divider> dividers_;
    Window target_;
    std::vector<Window> candidates_;
};

}  // namespace qv
