#pragma once

// The layout machinery of the hosting view; not for use elsewhere.

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/BlockPool.h"
#include "platform/ui/HostingView.h"
#include "platform/ui/InlineVector.h"

namespace qv {

// The sizes a node answered, by proposal (a missing dimension as -1); most nodes are asked a few
// times only, so the first answers stand inline.
// A few values inline, more on the heap: the children of most stacks fit inline, and a layout
// measures stacks by the thousand.
template <class T, size_t N>
class SmallArray {
  public:
    explicit SmallArray(size_t n) : size_(n) {
        if (n > N) heap_.resize(n);
    }
    size_t size() const { return size_; }
    T* begin() { return size_ > N ? heap_.data() : inline_.data(); }
    T* end() { return begin() + size_; }
    const T* begin() const { return size_ > N ? heap_.data() : inline_.data(); }
    const T* end() const { return begin() + size_; }
    T& operator[](size_t i) { return begin()[i]; }
    const T& operator[](size_t i) const { return begin()[i]; }

  private:
    std::array<T, N> inline_{};
    std::vector<T> heap_;
    size_t size_;
};

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

// The identity of a node: its parent's path and the suffix that tells it from its siblings. Most
// nodes never need theirs spelt out (only drawing, regions, state and handlers do), so a path is
// kept as this chain and spelt once, when asked.
struct PathSegment {
    const PathSegment* parent = nullptr;
    std::string_view separator;  // "/", "/#", "/m", "~" ...
    std::string_view text;       // an id, or the place among siblings (in `digits`)
    char digits[24];
    mutable std::string spelt;

    const std::string& str() const;
};

struct MemoRecord;

// One node of a tree with its views evaluated, its identity (path) and its environment.
struct RNode final {
    RNode(Node e, const PathSegment* p, const Environment& en, std::optional<Axis> axis)
        : el(std::move(e)), segment(p), env(en), parentAxis(axis) {}
    Node el;
    const PathSegment* segment;
    // Shared by the nodes beneath until an environment modifier changes it; owned by the pass.
    const Environment& env;
    std::optional<Axis> parentAxis;  // the axis of the stack this node stands in
    using Kids = InlineVector<std::unique_ptr<RNode>, 2>;
    Kids kids;
    mutable MeasureCache cache;
    mutable double textWidth = -1;  // a text's width on one line, once measured
    // A memo: what the host kept of it (none where nothing is kept), and whether its content is
    // placed at the origin and moved to its frame afterwards, which keeps its steps the same
    // wherever it stands. A memo that reuses what was kept has no kids until it must be built.
    MemoRecord* memo = nullptr;
    bool relative = false;

    const std::string& path() const { return segment->str(); }

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

// What the host keeps of a memoised subtree from the layout that last built or reused it, to stand
// for it in the next layout while its inputs, environment and placement stay the same.
struct MemoRecord : std::enable_shared_from_this<MemoRecord> {
    std::shared_ptr<const MemoInputs> inputs;
    Environment env;
    std::optional<Axis> parentAxis;
    bool reusable = false;  // nothing in it reads what the record cannot tell apart
    bool dirty = false;     // a state of the subtree changed since it was built
    uint64_t resolved = 0;  // the layout that last had it
    uint64_t placed = 0;    // the layout whose display list holds its steps
    double zIndex = 0;
    // The sizes its root answered, by proposal.
    std::vector<std::pair<ProposedSize, Size>> sizes;

    // Where it was placed: all but the origin, which its steps are relative to.
    Size size;
    ProposedSize proposal;
    double sx = 1, sy = 1, opacity = 1, rotation = 0;
    bool hitTesting = true;
    ClipList clips;
    Shape clipShapeHint;
    // Its steps and regions in the display list of layout `placed`, and their origins.
    size_t opBegin = 0, opEnd = 0, regionBegin = 0, regionEnd = 0;
    std::vector<Point> origins;  // of its steps, then of its regions
    // What its placing reported, and where the host keeps it.
    struct FrameReport {
        Rect frame;
        const std::function<void(Rect)>* handler;
        HostingView::FrameEntry* entry = nullptr;
    };
    std::vector<FrameReport> frameReports;
    struct AnimationKey {
        std::string key;
        std::optional<Animation> animation;
        HostingView::AnimationEntry* entry = nullptr;
    };
    std::vector<AnimationKey> animationKeys;
    std::vector<HostingView::AppearEntry*> appears;
    std::vector<std::pair<std::string, std::function<void()>>> disappears;
    std::vector<Node> elements;     // whose handlers the frame reports point to
    std::vector<uint64_t*> states;  // the last layouts of the host's state entries it holds
    // Until the host has taken the update that built it: where its reports stand in the pass.
    size_t reportBegin = 0, keyBegin = 0;

    // A new build from `inputs`, nothing of the last one kept.
    void rebuild(std::shared_ptr<const MemoInputs> in, const Environment& e, std::optional<Axis> axis);
    // Whether the last layout's subtree stands for one built from `in` here.
    bool standsFor(const MemoInputs& in, const Environment& e, std::optional<Axis> axis,
                   uint64_t lastLayout) const;
};

class LayoutPass {
  public:
    LayoutPass(HostingView& host, DisplayList* out) : host_(host), out_(out) {}

    struct Context {
        double ox = 0, oy = 0, sx = 1, sy = 1;
        double opacity = 1;
        double rotation = 0;
        bool hitTesting = true;
        // The innermost clip, linked to the ones outside it; each link lives in the frame of the
        // placement that added it, so copying a context, which placing does at every node, copies
        // no clips.
        struct ClipLink {
            ClipRegion clip;
            const ClipLink* outer = nullptr;
            mutable ClipList list;  // spelt once for every step beneath it
        };
        const ClipLink* clips = nullptr;
        void addClip(ClipLink& storage, const ClipRegion& clip);
        ClipList clipList() const;
        Shape clipShapeHint;
        // The size the parent proposed, when it differs from the frame (SwiftUI places with the
        // proposal it measured with); consumed by the node it is meant for.
        std::optional<ProposedSize> proposal;
        Rect map(const Rect& r) const;
    };
    // Paths point into the pass's path segments, spelt and kept until the host's next pass; where a
    // memo's record knows the host's entry, the entry stands for the path.
    struct FrameReport {
        const std::string* path;
        Rect frame;
        const std::function<void(Rect)>* handler;  // the element's, which the tree keeps
        HostingView::FrameEntry* entry = nullptr;
    };
    struct AnimationKey {
        const std::string* path;
        std::string key;
        std::optional<Animation> animation;
        HostingView::AnimationEntry* entry = nullptr;
    };

    // Resolves a root node: its path is `rootPath`.
    std::unique_ptr<RNode> resolve(const Node& node, std::string_view rootPath, const Environment& env);
    Size measure(const RNode& n, const ProposedSize& p);
    void place(const RNode& n, const Rect& frame, Context ctx);

    std::vector<std::shared_ptr<View>> views_;
    std::string focusCandidate_;
    // Paths and handlers of this pass's tree, which keeps them.
    // With, inside a memo being recorded, the record's slot for the host's entry.
    struct Appear {
        const std::function<void()>* action;
        MemoRecord* record = nullptr;
        size_t slot = 0;
    };
    std::map<std::string_view, Appear> appears_;
    std::map<std::string, std::function<void()>> disappears_;
    std::vector<FrameReport> frameReports_;
    std::vector<AnimationKey> animationKeys_;
    std::vector<AnimationRecord> scrollAnimations_;
    std::map<std::string, Rect> idFrames_;
    std::map<std::string, HostingView::ScrollInfo> scrollInfo_;
    // The memos whose records this pass made, for the host to tell where it keeps their reports.
    std::vector<MemoRecord*> recorded_;
    size_t reused_ = 0;  // memos replayed
    // Storage of path segments, in blocks; a host hands the blocks of its last pass to the next.
    static constexpr size_t kSegmentBlock = 256;
    std::vector<std::unique_ptr<PathSegment[]>> segmentBlocks_;
    std::vector<std::string>* spareStrings_ = nullptr;

  private:
    std::unique_ptr<RNode> resolve(const Node& node, const PathSegment* path, const Environment& env,
                                   std::optional<Axis> parentAxis);
    void resolveChildren(const Element::Children& children, const PathSegment* path, const Environment& env,
                         std::optional<Axis> axis, RNode::Kids& out);
    const PathSegment* segment(const PathSegment* parent, std::string_view separator,
                               std::string_view text = {});
    const PathSegment* segment(const PathSegment* parent, size_t index);
    const Environment& keepEnvironment(const Environment& env);
    Size measureUncached(const RNode& n, const ProposedSize& p);
    Size measureModifier(const RNode& n, const ProposedSize& p);
    ProposedSize childProposal(const RNode& n, const ProposedSize& p);
    using StackSizes = SmallArray<Size, 16>;
    StackSizes stackSizes(const RNode& n, const ProposedSize& p);
    void placeModifier(const RNode& n, const Rect& frame, Context ctx);
    // Memos (Memo.cpp).
    std::unique_ptr<RNode> resolveMemo(const Node& node, const PathSegment* path, const Environment& env,
                                       std::optional<Axis> parentAxis);
    void resolveMemoContent(RNode& n);
    // Builds the content of a memo that was to reuse the last layout's, which no longer can.
    void materialize(const RNode& n);
    Size measureMemo(const RNode& n, const ProposedSize& p);
    void placeMemo(const RNode& n, const Rect& frame, Context ctx, const ProposedSize& prop);
    void replayMemo(MemoRecord& rec, Point origin);
    void recordMemo(MemoRecord& rec, const Rect& frame, const Context& ctx, size_t ops, size_t regions,
                    size_t reports, size_t keys);
    // What a state of the tree calls when it changes: an update, and, inside a memo, a new build.
    std::function<void()> invalidator();
    void placeScroll(const RNode& n, const Rect& frame, Context ctx);
    void placeTextField(const RNode& n, const Rect& frame, Context ctx);
    void placeList(const RNode& n, const Rect& frame, Context ctx);
    // The drop-target region of a list and the drag-session gesture of a row (ListDrag.cpp).
    std::shared_ptr<const ListDropTarget> listDropTarget(const RNode& n, const Rect& mappedFrame,
                                                         double offset);
    std::shared_ptr<const DragGesture> rowDragSession(const RNode& n, size_t row, double rowTop);
    // The drawing step of a divider, text, image, shape, material or spinner (Emit.cpp).
    void drawLeaf(const RNode& n, const Rect& frame, const Context& ctx, const ProposedSize& prop);
    void emitOp(const RNode& n, const Rect& frame, const Context& ctx, DrawOp&& op);
    // A step made in place at the end of the list, with what every step takes from its node and
    // the placement; the caller fills in the rest.
    DrawOp& newOp(const RNode& n, const Rect& frame, const Context& ctx);
    void finishOp(const RNode& n, const Rect& frame, const Context& ctx, DrawOp& op);
    void emitRegion(const RNode& n, const Rect& frame, const Context& ctx, HitRegion&& region);
    // A region made in place at the end of the list (for the caller to give its handlers), where
    // hit testing is on.
    HitRegion& newRegion(const RNode& n, const Rect& frame, const Context& ctx);
    void finishRegion(const RNode& n, const Rect& frame, const Context& ctx, HitRegion& region);
    // A node's path for the display list, in a spare string's storage when there is one.
    std::string pathCopy(const RNode& n);

    HostingView& host_;
    DisplayList* out_;
    // The pass whose tree this one places, which builds the memos it finds unbuilt (a dry placement
    // places the tree of the pass that made it).
    LayoutPass* owner_ = this;
    // The memos being resolved, innermost first: whether their content can be placed at the origin
    // and reused.
    struct MemoScope {
        MemoScope* outer = nullptr;
        bool relative = true;
        bool reusable = true;
    };
    MemoScope* memoScope_ = nullptr;
    // The record of the outermost memo being resolved or placed; memos inside it keep none.
    MemoRecord* recording_ = nullptr;
    // Paths and environments of this pass's nodes, at stable addresses while its tree lives.
    size_t segmentCount_ = 0;
    std::deque<Environment> environments_;
    // Elements whose texts paths point into (ids, list rows), kept for as long as the paths.
    std::vector<Node> pathTexts_;
};

// What one layout gathers for the hosting view, kept emptied between layouts for its storage.
struct LayoutScratch {
    // The path strings of the list before last, whose storage the next pass's paths reuse.
    std::vector<std::string> spareStrings;
    std::vector<LayoutPass::FrameReport> frameReports;
    std::vector<LayoutPass::AnimationKey> animationKeys;
    std::vector<std::unique_ptr<PathSegment[]>> segmentBlocks;
};

}  // namespace qv
