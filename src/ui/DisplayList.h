#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/Node.h"

namespace qv {

struct ResolvedPaint {
    bool isGradient = false;
    RGBA color;
    std::vector<RGBA> stops;
    UnitPoint start, end;
};

struct ClipRegion {
    Rect rect;
    Shape shape;
};

// The clips of a drawing step or region, outermost first; the steps of one clipped subtree share
// one list.
class ClipList {
  public:
    ClipList() = default;
    ClipList(std::initializer_list<ClipRegion> clips)
        : list_(clips.size() ? std::make_shared<const std::vector<ClipRegion>>(clips) : nullptr) {}
    explicit ClipList(std::shared_ptr<const std::vector<ClipRegion>> list) : list_(std::move(list)) {}

    size_t size() const { return list_ ? list_->size() : 0; }
    bool empty() const { return size() == 0; }
    const ClipRegion& operator[](size_t i) const { return (*list_)[i]; }
    const ClipRegion& back() const { return list_->back(); }
    const ClipRegion* begin() const { return list_ ? list_->data() : nullptr; }
    const ClipRegion* end() const { return list_ ? list_->data() + list_->size() : nullptr; }

  private:
    std::shared_ptr<const std::vector<ClipRegion>> list_;
};

// One drawing step, in the coordinates of the hosting view's content (origin at its top-left
// corner, y down), with every transform, opacity and clip of its ancestors applied.
struct DrawOp {
    enum class Kind { shape, text, image, material, spinner, shadow };
    Kind kind = Kind::shape;
    Rect frame;
    std::string path;  // identity of the node that drew it
    double opacity = 1;
    double rotation = 0;  // radians about the frame's centre
    ClipList clips;

    // Shapes (and the shape of a shadow or material).
    Shape shape;
    std::optional<ResolvedPaint> fill;
    std::optional<ResolvedPaint> stroke;
    double lineWidth = 0;
    bool strokeInside = false;
    // Text: one entry per line, already truncated or wrapped.
    std::vector<std::string> lines;
    Font font;
    RGBA color;
    double tracking = 0;
    double lineHeight = 0;
    bool truncated = false;
    // Images.
    ImageKind imageKind = ImageKind::symbol;
    std::string imageName;
    std::shared_ptr<const Image> bitmap;
    // Materials.
    Material material = Material::regular;
    BlendingMode blending = BlendingMode::behindWindow;
    ColorScheme scheme = ColorScheme::light;
    // Shadows.
    double blur = 0;

    std::string joinedText() const;
};

// A list that takes drops: where its rows stand, and its destination handlers.
struct ListDropTarget {
    std::string listPath;
    std::vector<std::string> types;
    Rect frame;  // the list's frame in content coordinates
    double scrollOffset = 0;
    std::function<DragOperation(const ListDragInfo&)> validate;
    std::function<bool(const ListDragInfo&)> accept;
};

// An area that answers the pointer: the handlers of one node, in the content's coordinates, clipped
// like its drawing. Later regions lie above earlier ones.
struct HitRegion {
    Rect frame;
    Shape shape;
    ClipList clips;
    std::string path;
    bool enabled = true;

    std::function<void()> onTap;
    int tapCount = 1;
    std::function<void()> onRightClick;
    std::function<Menu()> contextMenu;
    std::function<void(bool)> onHover;
    std::shared_ptr<const DragGesture> drag;
    bool highPriorityDrag = false;
    std::string scrollPath;  // a scroll view's identity
    Axis scrollAxis = Axis::vertical;
    std::string help;
    std::string accessibilityLabel;
    bool accessibilityButton = false;
    bool focusable = false;  // clicking gives it the keyboard focus
    KeyHandler keyHandler;
    std::function<void(bool)> onFocusChange;
    Binding<std::string> text;  // a text field's value, for the edit actions
    bool blocksOnly = false;    // content shape: takes the pointer without handling it
    std::optional<Cursor> cursor;
    std::shared_ptr<const ListDropTarget> dropTarget;

    bool contains(Point p) const;
};

// What one layout of a hosting view produced.
struct DisplayList {
    Size size;
    std::vector<DrawOp> ops;
    std::vector<HitRegion> regions;

    // The first text op showing exactly `text` (joined lines), or none.
    const DrawOp* findText(const std::string& text) const;
    // Every text op, in drawing order.
    std::vector<const DrawOp*> texts() const;
    std::vector<const DrawOp*> opsAt(const std::string& pathSuffix) const;
    // The topmost region containing `p` that satisfies `want`.
    const HitRegion* topmost(Point p, const std::function<bool(const HitRegion&)>& want) const;
};

}  // namespace qv
