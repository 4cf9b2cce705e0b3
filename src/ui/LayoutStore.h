#pragma once

// What a hosting view keeps of its layouts for the next ones; not for use elsewhere. The layout
// pass (LayoutPass.h) is handed the parts it reads and extends; the host reconciles the rest.

#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ui/DisplayList.h"

namespace qv {

// The view state of a host's tree by node path (WithState and the controls' own): made when a node
// first asks for it, kept while the trees of the host's layouts have the node.
class ViewStates {
  public:
    struct Entry {
        std::any value;
        uint64_t layout = 0;  // the last layout whose tree had the node
    };
    // The entry of a node of layout `layout`'s tree, which keeps it alive.
    Entry& live(const std::string& path, const std::function<std::any()>& initial, uint64_t layout);
    // A node's entry, made when missing, kept alive by no layout: a measuring pass's, or a handler's
    // of a node that may be gone.
    Entry& entry(const std::string& path, const std::function<std::any()>& initial);
    // Takes out the entries of the nodes that layout `layout`'s tree no longer has.
    std::map<std::string, Entry> collect(uint64_t layout);

  private:
    std::map<std::string, Entry> entries_;
};

// What the layouts reported of a node, kept in place from one layout to the next (mostly the same
// nodes report again): the value, the one before this layout's and whether there was one, and the
// layout that last reported it.
template <class T>
struct Reported {
    T value;
    T before;
    bool existed = false;
    uint64_t layout = 0;
};
// Entries of the host's report maps stay where they are while they live: the records of memos that
// reuse the last layout's subtree keep them instead of looking them up again.
using FrameEntry = std::pair<const std::string, Reported<Rect>>;
using AnimationEntry = std::pair<const std::string, Reported<std::string>>;
using AppearEntry = std::pair<const std::string, uint64_t>;

// How far a scroll view or list scrolls.
struct ScrollInfo {
    Axis axis = Axis::vertical;
    double contentLength = 0;
    double viewportLength = 0;
};

// What the host keeps of a memoised subtree from the layout that last built or reused it, to stand
// for it in the next layout while its inputs, environment and placement stay the same (Memo.cpp).
struct MemoRecord : std::enable_shared_from_this<MemoRecord> {
    const std::string* path = nullptr;  // the host's key
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
        FrameEntry* entry = nullptr;
    };
    std::vector<FrameReport> frameReports;
    struct AnimationKey {
        std::string key;
        std::optional<Animation> animation;
        AnimationEntry* entry = nullptr;
    };
    std::vector<AnimationKey> animationKeys;
    std::vector<AppearEntry*> appears;
    std::vector<std::pair<std::string, std::function<void()>>> disappears;
    std::vector<Node> elements;     // whose handlers the frame reports point to
    std::vector<uint64_t*> states;  // the last layouts of the host's state entries it holds
    // Until the host has reconciled the layout that built it: where its reports stand in the result.
    size_t reportBegin = 0, keyBegin = 0;

    // A new build from `inputs`, nothing of the last one kept.
    void rebuild(std::shared_ptr<const MemoInputs> in, const Environment& e, std::optional<Axis> axis);
    // What its root answered `p`, if it was asked.
    const Size* sizeFor(const ProposedSize& p) const;
    // Whether the last layout's subtree stands for one built from `in` here.
    bool standsFor(const MemoInputs& in, const Environment& e, std::optional<Axis> axis,
                   uint64_t lastLayout) const;
};
using MemoRecords = std::unordered_map<std::string, std::shared_ptr<MemoRecord>>;

using Scrollers = std::map<std::string, std::shared_ptr<ScrollController>>;
// The host's controller of a scroll view or list, made when it has none.
std::shared_ptr<ScrollController> scrollerFor(Scrollers& scrollers, const std::string& path);

}  // namespace qv
