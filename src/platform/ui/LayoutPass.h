#pragma once

// The layout machinery of the hosting view; not for use elsewhere.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/ui/BlockPool.h"
#include "platform/ui/HostingView.h"

namespace qv {

// The sizes a node answered, by proposal (a missing dimension as -1); most nodes are asked a few
// times only, so the first answers stand inline.
class MeasureCache {
  public:
    const Size* find(double width, double height) const {
        for (uint8_t i = 0; i < count_; ++i) {
            if (inline_[i].width == width && inline_[i].height == height) return &inline_[i].size;
        }
        for (const Entry& e : more_) {
            if (e.width == width && e.height == height) return &e.size;
        }
        return nullptr;
    }
    void add(double width, double height, Size size) {
        if (count_ < inline_.size()) {
            inline_[count_++] = {width, height, size};
        } else {
            more_.push_back({width, height, size});
        }
    }

  private:
    struct Entry {
        double width = 0, height = 0;
        Size size;
    };
    std::array<Entry, 4> inline_;
    uint8_t count_ = 0;
    std::vector<Entry> more_;
};

// One node of a tree with its views evaluated, its identity (path) and its environment.
struct RNode final {
    RNode(Node e, std::string p, Environment en, std::optional<Axis> axis)
        : el(std::move(e)), path(std::move(p)), env(std::move(en)), parentAxis(axis) {}
    Node el;
    std::string path;
    Environment env;
    std::optional<Axis> parentAxis;  // the axis of the stack this node stands in
    using Kids = std::vector<std::unique_ptr<RNode>, blockpool::Allocator<std::unique_ptr<RNode>>>;
    Kids kids;
    mutable MeasureCache cache;

    // A layout makes and drops one per node.
    static void* operator new(size_t) {
        return blockpool::FreeList<sizeof(RNode), alignof(RNode)>::allocate();
    }
    static void operator delete(void* p) noexcept {
        blockpool::FreeList<sizeof(RNode), alignof(RNode)>::release(p);
    }
};

struct ListDragState {
    std::string draggedID;
    double translation = 0;
    // A drag session begun in this list.
    bool sessionActive = false;
    std::string sessionRowID;
    double sessionRowTop = 0;  // where the row stood among the rows when the session began
    double sessionTranslation = 0;
    uint64_t lastMoveSerial = 0;
};

class LayoutPass {
  public:
    LayoutPass(HostingView& host, DisplayList* out) : host_(host), out_(out) {}

    struct Context {
        double ox = 0, oy = 0, sx = 1, sy = 1;
        double opacity = 1;
        double rotation = 0;
        bool hitTesting = true;
        // Shared by the contexts of a subtree: copying a context, which placing does at every
        // node, copies no clips.
        std::shared_ptr<const std::vector<ClipRegion>> clips;
        void addClip(const ClipRegion& clip);
        std::vector<ClipRegion> clipList() const { return clips ? *clips : std::vector<ClipRegion>{}; }
        Shape clipShapeHint;
        // The size the parent proposed, when it differs from the frame (SwiftUI places with the
        // proposal it measured with); consumed by the node it is meant for.
        std::optional<ProposedSize> proposal;
        Rect map(const Rect& r) const;
    };
    struct FrameReport {
        std::string path;
        Rect frame;
        std::function<void(Rect)> handler;
    };
    struct AnimationKey {
        std::string path;
        std::string key;
        std::optional<Animation> animation;
    };

    std::unique_ptr<RNode> resolve(const Node& node, std::string path, const Environment& env,
                                   std::optional<Axis> parentAxis);
    Size measure(const RNode& n, const ProposedSize& p);
    void place(const RNode& n, const Rect& frame, Context ctx);

    std::vector<std::shared_ptr<View>> views_;
    std::set<std::string> liveState_;
    std::string focusCandidate_;
    std::map<std::string, std::function<void()>> appears_;
    std::map<std::string, std::function<void()>> disappears_;
    std::vector<FrameReport> frameReports_;
    std::vector<AnimationKey> animationKeys_;
    std::vector<AnimationRecord> scrollAnimations_;
    std::map<std::string, Rect> idFrames_;
    std::map<std::string, HostingView::ScrollInfo> scrollInfo_;

  private:
    void resolveChildren(const Element::Children& children, const std::string& path, const Environment& env,
                         std::optional<Axis> axis, RNode::Kids& out);
    Size measureUncached(const RNode& n, const ProposedSize& p);
    Size measureModifier(const RNode& n, const ProposedSize& p);
    ProposedSize childProposal(const RNode& n, const ProposedSize& p);
    std::vector<Size> stackSizes(const RNode& n, const ProposedSize& p);
    void placeModifier(const RNode& n, const Rect& frame, Context ctx);
    void placeScroll(const RNode& n, const Rect& frame, Context ctx);
    void placeTextField(const RNode& n, const Rect& frame, Context ctx);
    void placeList(const RNode& n, const Rect& frame, Context ctx);
    // The drop-target region of a list and the drag-session gesture of a row (ListDrag.cpp).
    std::shared_ptr<const ListDropTarget> listDropTarget(const RNode& n, const Rect& mappedFrame,
                                                         double offset);
    std::shared_ptr<const DragGesture> rowDragSession(const RNode& n, size_t row, double rowTop);
    void emitOp(const RNode& n, const Rect& frame, const Context& ctx, DrawOp op);
    void emitRegion(const RNode& n, const Rect& frame, const Context& ctx, HitRegion region);

    HostingView& host_;
    DisplayList* out_;
};

// What one layout gathers for the hosting view, kept emptied between layouts for its storage.
struct LayoutScratch {
    std::vector<LayoutPass::FrameReport> frameReports;
    std::vector<LayoutPass::AnimationKey> animationKeys;
};

}  // namespace qv
