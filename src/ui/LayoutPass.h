#pragma once

// The layout pass of the hosting view; not for use elsewhere.
//
// One layout runs four steps over one tree, in this order:
//   resolve (Resolve.cpp): bodies evaluated, state and environment attached, identities given;
//   measure (Measure.cpp): a size proposed to each node, and its answer;
//   place (Place.cpp; the controls in TextField.cpp and List.cpp): frames, transforms, clips and
//     scroll offsets carried down to every node;
//   emit (Emit.cpp): the drawing steps and hit regions of what is placed.
// `LayoutPass::run` (LayoutPass.cpp) drives them and returns a `LayoutResult`, which the host
// reconciles with what it keeps (Reconcile.cpp). The rules several steps read are in LayoutRules.h.
//
// A step calls only itself and the steps before it (placing measures, emitting is placing's last
// act), with one exception: a memo taken over from the last layout stands for its content without
// building it (Memo.cpp). When measuring meets it with a proposal, or placing with a placement,
// that the last layout did not see, `buildDeferredMemo` resolves its content there and then. That
// is the only place where measuring or placing resolves: makes nodes, evaluates bodies or attaches
// state.

#include <any>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/BlockPool.h"
#include "ui/HostingView.h"
#include "ui/InlineVector.h"
#include "ui/LayoutStore.h"

namespace qv {

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
    // Every proposal and answer, the missing dimensions spelt as such again.
    template <class F>
    void forEach(F f) const {
        auto proposal = [](const Entry& e) {
            return ProposedSize{e.width == -1 ? std::nullopt : std::optional(e.width),
                                e.height == -1 ? std::nullopt : std::optional(e.height)};
        };
        for (uint8_t i = 0; i < count_; ++i) f(proposal(inline_[i]), inline_[i].size);
        for (const Entry& e : more_) f(proposal(e), e.size);
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
    // The host's state of a control that keeps one (a list's drag), attached when it is resolved.
    std::any* state = nullptr;

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

// What a layout is handed by its host: what it reads, and what it extends for the next layouts.
struct LayoutInputs {
    // What the tree's invalidations and the controls' handlers act on.
    std::weak_ptr<HostingView> host;
    // Attaches a view object of the tree to the host before its body is evaluated.
    std::function<void(View&, const Environment&)> attachView;
    Environment env;
    uint64_t layout = 0;  // this layout's number; the last one's is one less
    std::shared_ptr<ViewStates> states;
    Scrollers& scrollers;
    // The memos' records (none: nothing is reused or recorded) and the last layout's list, whose
    // steps the reused ones take.
    MemoRecords* memos = nullptr;
    DisplayList* lastList = nullptr;
    std::string_view focusedPath;
};

// What one layout made, for the host to reconcile. Paths point into the tree's path segments,
// which stay until the storage goes back to the scratch; where a reused memo's record knows the
// host's entry, the entry stands for the path.
struct LayoutResult {
    DisplayList list;
    std::string focusedPath;  // the focus after this layout
    struct FrameReport {
        const std::string* path;
        Rect frame;
        const std::function<void(Rect)>* handler;  // the element's, which the tree keeps
        FrameEntry* entry = nullptr;
    };
    std::vector<FrameReport> frameReports;
    struct AnimationKey {
        const std::string* path;
        std::string key;
        std::optional<Animation> animation;
        AnimationEntry* entry = nullptr;
    };
    std::vector<AnimationKey> animationKeys;
    std::vector<AnimationRecord> scrollAnimations;
    // With, inside a memo being recorded, the record's slot for the host's entry.
    struct Appear {
        const std::function<void()>* action;
        MemoRecord* record = nullptr;
        size_t slot = 0;
        AppearEntry* entry = nullptr;
    };
    std::map<std::string_view, Appear> appears;
    std::map<std::string, std::function<void()>> disappears;
    std::map<std::string, ScrollInfo> scrollInfo;
    // The memos whose records this layout made, and those it reused.
    std::vector<MemoRecord*> recorded;
    std::vector<const MemoRecord*> reused;

    // What the paths and handlers above point into, and the view objects evaluated.
    std::vector<std::unique_ptr<PathSegment[]>> segmentBlocks;
    std::deque<Environment> environments;
    std::vector<Node> pathTexts;  // elements whose texts paths point into (ids, list rows)
    std::vector<std::shared_ptr<View>> views;
    std::unique_ptr<RNode> tree;
};

// Once the host has looked up its entries of a result's reports, the records of the memos it made
// keep them, for the next layout to reuse (Memo.cpp).
void finishMemoRecords(LayoutResult& result);

// Storage of the layouts before, which the next one fills again instead of allocating it anew.
struct LayoutScratch {
    DisplayList spareList;                  // the list before last, emptied
    std::vector<std::string> spareStrings;  // the path strings it held
    std::vector<std::unique_ptr<PathSegment[]>> segmentBlocks;
    std::vector<LayoutResult::FrameReport> frameReports;
    std::vector<LayoutResult::AnimationKey> animationKeys;
    std::vector<const MemoRecord*> reused;

    // Lends its storage to a new result.
    void lend(LayoutResult& result);
    // Takes back the list a result's replaced, emptied, with the path strings it held.
    void reclaimList(DisplayList& list);
    // Takes back the storage of a reconciled result; its tree goes.
    void reclaim(LayoutResult& result);
};

class LayoutPass {
  public:
    // One layout of `root` in `size`, where it stands centred: its steps, in order.
    static LayoutResult run(const LayoutInputs& in, const Node& root, Size size, LayoutScratch& scratch);
    // The size `root` takes when nothing is proposed to it, resolved and measured only.
    static Size idealSize(const LayoutInputs& in, const Node& root);

  private:
    // A pass into `out`, or, without one, a dry pass that places nothing and keeps no state alive.
    LayoutPass(const LayoutInputs& in, LayoutResult& result, DisplayList* out)
        : in_(in), result_(result), out_(out) {}

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

    // Resolving (Resolve.cpp).
    std::unique_ptr<RNode> resolveRoot(const Node& node);
    std::unique_ptr<RNode> resolve(const Node& node, const PathSegment* path, const Environment& env,
                                   std::optional<Axis> parentAxis);
    void resolveChildren(const Element::Children& children, const PathSegment* path, const Environment& env,
                         std::optional<Axis> axis, RNode::Kids& out);
    const PathSegment* segment(const PathSegment* parent, std::string_view separator,
                               std::string_view text = {});
    const PathSegment* segment(const PathSegment* parent, size_t index);
    const Environment& keepEnvironment(const Environment& env);
    // The host's state of a node: alive while this layout's tree has it, unless the pass is dry.
    std::any& stateOf(const std::string& path, const std::function<std::any()>& initial);
    // What a state of the tree calls when it changes: an update, and, inside a memo, a new build.
    std::function<void()> invalidator();

    // Measuring (Measure.cpp).
    Size measure(const RNode& n, const ProposedSize& p);
    Size measureUncached(const RNode& n, const ProposedSize& p);
    Size measureModifier(const RNode& n, const ProposedSize& p);
    ProposedSize childProposal(const RNode& n, const ProposedSize& p);
    using StackSizes = SmallArray<Size, 16>;
    StackSizes stackSizes(const RNode& n, const ProposedSize& p);

    // Placing (Place.cpp, TextField.cpp, List.cpp).
    void place(const RNode& n, const Rect& frame, Context ctx);
    void placeModifier(const RNode& n, const Rect& frame, Context ctx);
    void placeScroll(const RNode& n, const Rect& frame, Context ctx);
    void placeTextField(const RNode& n, const Rect& frame, Context ctx);
    void placeList(const RNode& n, const Rect& frame, Context ctx);
    // The drop-target region of a list, and the gestures of a row that reorder the list or begin a
    // drag session (ListDrag.cpp).
    std::shared_ptr<const ListDropTarget> listDropTarget(const RNode& n, const Rect& mappedFrame,
                                                         double offset);
    std::shared_ptr<const DragGesture> rowReorderGesture(const RNode& n, size_t row, double rowTop);
    std::shared_ptr<const DragGesture> rowDragSession(const RNode& n, size_t row, double rowTop);

    // Memos (Memo.cpp).
    std::unique_ptr<RNode> resolveMemo(const Node& node, const PathSegment* path, const Environment& env,
                                       std::optional<Axis> parentAxis);
    void resolveMemoContent(RNode& n);
    // The content of a memo that was to reuse the last layout's, which no longer can: resolved now.
    void buildDeferredMemo(const RNode& n);
    Size measureMemo(const RNode& n, const ProposedSize& p);
    void placeMemo(const RNode& n, const Rect& frame, Context ctx, const ProposedSize& prop);
    void replayMemo(MemoRecord& rec, Point origin);
    void recordMemo(MemoRecord& rec, const Rect& frame, const Context& ctx, size_t ops, size_t regions,
                    size_t reports, size_t keys);

    // Emitting (Emit.cpp): the drawing step of a divider, text, image, shape, material or spinner,
    // and those of a shadow, a text field, a list's selected row and its insertion line.
    void drawLeaf(const RNode& n, const Rect& frame, const Context& ctx, const ProposedSize& prop);
    void drawShadow(const RNode& n, const Rect& frame, const Context& ctx, const Shape& outline);
    void drawTextField(const RNode& n, const Rect& frame, const Context& ctx, const std::string& value,
                       bool focused);
    void drawSelectedRow(const RNode& list, const Rect& row, const Context& ctx);
    void drawInsertionLine(const RNode& list, const Rect& listFrame, double y, const Context& ctx);
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

    const LayoutInputs& in_;
    LayoutResult& result_;
    DisplayList* out_;
    std::vector<std::string>* spareStrings_ = nullptr;
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
    // Path segments made, in the result's blocks; a host hands the blocks of its last pass to the
    // next.
    static constexpr size_t kSegmentBlock = 256;
    size_t segmentCount_ = 0;
    // Where the ids stand, for a dry placement that looks for a scroll target.
    std::map<std::string, Rect> idFrames_;
};

// What a hosting view keeps of its layouts: the parts its passes are handed, and what it
// reconciles their results with.
struct HostingView::Kept {
    std::shared_ptr<ViewStates> states = std::make_shared<ViewStates>();
    MemoRecords memos;
    Scrollers scrollers;
    std::map<std::string, ScrollInfo> scrollInfo;
    std::map<std::string, Reported<Rect>> reportedFrames;
    std::map<std::string, std::function<void()>> disappearHandlers;
    std::map<std::string, uint64_t, std::less<>> appeared;  // by the layout that last saw each
    std::map<std::string, Reported<std::string>> animationKeys;
    // The memos the last layout reused, whose records stay until the next.
    std::vector<const MemoRecord*> reused;
    LayoutScratch scratch;
};

}  // namespace qv
