// The driver of one layout: resolve, measure, place and emit, in that order (LayoutPass.h), into a
// result for the host to reconcile, in storage the layouts before it leave behind.
#include "ui/LayoutPass.h"

namespace qv {

namespace {

constexpr size_t kSpareStrings = 8192;

}  // namespace

LayoutResult LayoutPass::run(const LayoutInputs& in, const Node& root, Size size, LayoutScratch& scratch) {
    LayoutResult result;
    scratch.lend(result);
    result.list.size = size;
    if (in.lastList) {
        result.list.ops.reserve(in.lastList->ops.size());
        result.list.regions.reserve(in.lastList->regions.size());
    }
    LayoutPass pass(in, result, &result.list);
    pass.spareStrings_ = &scratch.spareStrings;
    result.focusedPath = in.focusedPath;
    if (root) result.tree = pass.resolveRoot(root);
    if (result.tree) {
        const Size s = pass.measure(*result.tree, {size.width, size.height});
        const Rect frame{(size.width - s.width) / 2, (size.height - s.height) / 2, s.width, s.height};
        pass.place(*result.tree, frame, Context{});
    }
    return result;
}

Size LayoutPass::idealSize(const LayoutInputs& in, const Node& root) {
    LayoutResult result;
    LayoutPass pass(in, result, nullptr);
    auto tree = pass.resolveRoot(root);
    return tree ? pass.measure(*tree, ProposedSize{}) : Size{0, 0};
}

void LayoutScratch::lend(LayoutResult& result) {
    // The list is built in the storage of the one before the last, emptied: a layout of the same
    // size allocates none of it again.
    result.list = std::move(spareList);
    result.segmentBlocks = std::move(segmentBlocks);
    result.frameReports = std::move(frameReports);
    result.animationKeys = std::move(animationKeys);
    result.reused = std::move(reused);
}

void LayoutScratch::reclaimList(DisplayList& list) {
    spareList = std::move(list);
    // The old list's paths lend their storage to the next pass's.
    if (spareStrings.size() < kSpareStrings) {
        for (DrawOp& op : spareList.ops) spareStrings.push_back(std::move(op.path));
        for (HitRegion& r : spareList.regions) spareStrings.push_back(std::move(r.path));
    }
    spareList.ops.clear();
    spareList.regions.clear();
}

void LayoutScratch::reclaim(LayoutResult& result) {
    result.tree.reset();
    segmentBlocks = std::move(result.segmentBlocks);
    frameReports = std::move(result.frameReports);
    frameReports.clear();
    animationKeys = std::move(result.animationKeys);
    animationKeys.clear();
    reused = std::move(result.reused);
    reused.clear();
}

}  // namespace qv
