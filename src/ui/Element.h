#pragma once

#include <any>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "platform/Event.h"
#include "platform/Geometry.h"
#include "platform/Image.h"
#include "platform/Menu.h"
#include "ui/Animation.h"
#include "ui/BlockPool.h"
#include "ui/Color.h"
#include "ui/InlineVector.h"
#include "ui/TextMetrics.h"

namespace qv {

class View;
struct Element;
using Node = std::shared_ptr<const Element>;
class MemoInputs;

inline constexpr double kInfinity = std::numeric_limits<double>::infinity();

enum class Axis { horizontal, vertical };
enum class HorizontalAlignment { leading, center, trailing };
enum class VerticalAlignment { top, center, bottom };

struct Alignment {
    HorizontalAlignment horizontal = HorizontalAlignment::center;
    VerticalAlignment vertical = VerticalAlignment::center;
    static constexpr Alignment center() { return {}; }
    static constexpr Alignment leading() { return {HorizontalAlignment::leading, VerticalAlignment::center}; }
    static constexpr Alignment trailing() {
        return {HorizontalAlignment::trailing, VerticalAlignment::center};
    }
    static constexpr Alignment top() { return {HorizontalAlignment::center, VerticalAlignment::top}; }
    static constexpr Alignment bottom() { return {HorizontalAlignment::center, VerticalAlignment::bottom}; }
    static constexpr Alignment topLeading() { return {HorizontalAlignment::leading, VerticalAlignment::top}; }
    static constexpr Alignment topTrailing() {
        return {HorizontalAlignment::trailing, VerticalAlignment::top};
    }
    static constexpr Alignment bottomLeading() {
        return {HorizontalAlignment::leading, VerticalAlignment::bottom};
    }
    static constexpr Alignment bottomTrailing() {
        return {HorizontalAlignment::trailing, VerticalAlignment::bottom};
    }
};

struct EdgeInsets {
    double top = 0, leading = 0, bottom = 0, trailing = 0;
    static EdgeInsets all(double v) { return {v, v, v, v}; }
    static EdgeInsets horizontal(double v) { return {0, v, 0, v}; }
    static EdgeInsets vertical(double v) { return {v, 0, v, 0}; }
    static EdgeInsets symmetric(double h, double v) { return {v, h, v, h}; }
};

// A size offered to a view: a missing dimension asks for the view's ideal size, 0 for its minimum
// and infinity for its maximum.
struct ProposedSize {
    std::optional<double> width;
    std::optional<double> height;
    friend bool operator==(const ProposedSize&, const ProposedSize&) = default;
};

enum class ShapeKind { rectangle, roundedRectangle, capsule, circle };

struct Shape {
    ShapeKind kind = ShapeKind::rectangle;
    double cornerRadius = 0;
    bool continuous = true;
    static Shape rect() { return {}; }
    static Shape roundedRect(double r, bool continuous = true) {
        return {ShapeKind::roundedRectangle, r, continuous};
    }
    static Shape capsule() { return {ShapeKind::capsule, 0, true}; }
    static Shape circle() { return {ShapeKind::circle, 0, true}; }
    // The corner radius drawn for a frame of this size.
    double radiusIn(const Rect& r) const;
    bool contains(const Rect& frame, Point p) const;
    friend bool operator==(const Shape&, const Shape&) = default;
};

using Paint = std::variant<Color, Gradient>;

// The platform's translucent materials (NSVisualEffectView.Material and SwiftUI's materials).
enum class Material {
    menu,
    popover,
    hudWindow,
    ultraThick,
    thick,
    regular,
    thin,
    ultraThin,
    windowBackground
};
enum class BlendingMode { behindWindow = 0, withinWindow = 1 };

enum class ImageKind { symbol, appIcon, bitmap };
enum class ContentMode { fit, fill };

enum class ButtonStyle { plain, bordered, borderedProminent };
enum class ControlSize { mini, small, regular, large };

template <class T>
struct Binding {
    std::function<T()> get;
    std::function<void(T)> set;
    static Binding constant(T v) {
        return {[v] { return v; }, [](T) {}};
    }
    explicit operator bool() const { return static_cast<bool>(get); }
};

// Values a view reads from its surroundings; set for a subtree with the environment modifiers.
struct Environment {
    ColorScheme colorScheme = ColorScheme::light;
    bool reduceTransparency = false;
    bool isEnabled = true;
    std::optional<Font> font;
    std::optional<Color> foreground;
    std::optional<int> lineLimit;
    friend bool operator==(const Environment&, const Environment&) = default;
};

// The values of a drag gesture, in the coordinate space of the hosting view's content (origin at
// its top-left corner, y down), SwiftUI's global space.
struct DragValue {
    Point startLocation;
    Point location;
    Size translation;
};

struct DragGesture {
    double minimumDistance = 10;
    std::function<void(const DragValue&)> onChanged = nullptr;
    std::function<void(const DragValue&)> onEnded = nullptr;
};

// Drives a scroll view from code: scrolls it so that the child with the given id stands at an
// anchor of the visible area, with or without an animation. Held by the view that owns it.
class ScrollController {
  public:
    void scrollTo(std::string childID, UnitPoint anchor = UnitPoint::center(),
                  std::optional<Animation> animation = std::nullopt) {
        pending_ = Request{std::move(childID), anchor, animation};
    }
    // Scrolls as little as needed to show the child whole (NSTableView.scrollRowToVisible).
    void scrollToVisible(std::string childID) {
        pending_ = Request{std::move(childID), UnitPoint::center(), std::nullopt, true};
    }
    // Scrolls to an offset along the view's axis, held within its limits: for content that builds
    // only what shows, where the child to scroll to may not be built yet.
    void scrollToOffset(double offset, std::optional<Animation> animation = std::nullopt) {
        pending_ = Request{{}, UnitPoint::center(), animation, false, offset};
    }
    // Where the scroll asked and not yet carried out goes, when it names an offset.
    std::optional<double> requestedOffset() const { return pending_ ? pending_->offset : std::nullopt; }
    Point offset() const { return offset_; }
    void setOffset(Point p) { offset_ = p; }

    struct Request {
        std::string childID;
        UnitPoint anchor;
        std::optional<Animation> animation;
        bool minimal = false;  // just into view, whatever the anchor
        // Where to scroll to, instead of a child to find.
        std::optional<double> offset = std::nullopt;
    };
    std::optional<Request> takeRequest() { return std::exchange(pending_, std::nullopt); }

  private:
    Point offset_;
    std::optional<Request> pending_;
};

// What a dragged row puts on the drag pasteboard: a string of a type.
struct ListPasteboardItem {
    std::string type;
    std::string value;
};

// One row of a list: its content, height and whether it takes the selection or can be dragged.
struct ListRow {
    std::string id;
    Node content;
    double height = 24;
    bool selectable = true;
    bool movable = false;
    std::function<std::optional<Menu>()> menu;  // a right click first selects the row
    double alpha = 1;                           // of the row view, its highlight included
    // A row with an item starts a drag session when dragged (the table's pasteboard writer).
    std::optional<ListPasteboardItem> pasteboard = std::nullopt;
};

// A drag session over a list, as the list asks about it (NSDraggingInfo).
struct ListDragInfo {
    bool fromThisList = false;  // the session began in the list that is asked
    ListPasteboardItem item;
    Point location;  // in the list's rows: from the top of the first row, y down
};
enum class DragOperation { none, move };

// A row the owner moved (NSTableView.moveRow(at:to:) in an animation group); each move, told apart
// by its serial, slides once.
struct ListRowMove {
    uint64_t serial = 0;
    std::string rowID;
    size_t from = 0;
    size_t to = 0;
    Animation animation;
};

struct ListSpec {
    std::vector<ListRow> rows;
    Binding<std::optional<std::string>> selection;
    bool highlightSelection = true;
    std::function<void(const std::string& rowID)> onClick;
    std::function<void(const std::string& rowID)> onActivate;  // Return on the selected row
    // A movable row dropped at `toIndex` among the other rows (0 = before all of them).
    std::function<void(const std::string& rowID, size_t toIndex)> onMove;
    std::shared_ptr<ScrollController> scroller;

    // Drag sessions (NSTableView's dragging source and destination). The session of a row with a
    // pasteboard item begins once it moves; lists under the pointer that registered the item's
    // type validate it as it moves and accept it where it is released; the source then hears how
    // the session ended.
    std::function<void(size_t row)> onDragBegin;
    std::vector<std::string> dropTypes;
    std::function<DragOperation(const ListDragInfo&)> validateDrop;
    std::function<bool(const ListDragInfo&)> acceptDrop;
    std::function<void(bool dropped)> onDragEnd;
    std::vector<ListRowMove> rowMoves;
};

// Keyboard handling of a control that has the focus; true when the key was used.
using KeyHandler = std::function<bool(uint16_t keyCode, const std::string& characters, uint64_t modifiers)>;

// One node of a view tree. Trees are built fresh by every evaluation of a view's body, with the
// builder functions (Node.h) and the modifiers below, and are immutable once built.
struct Element : std::enable_shared_from_this<Element> {
    enum class Kind {
        empty,
        group,
        stack,
        zstack,
        spacer,
        divider,
        text,
        image,
        shape,
        material,
        spinner,
        scroll,
        textField,
        list,
        view,      // a View object, whose body is evaluated in place
        stateful,  // a builder with state that lives in the hosting view
        memo,      // a subtree built from a value, reused while the value stays the same
        modifier,
    };
    enum class Mod {
        frame,
        flexFrame,
        padding,
        background,
        overlay,
        opacity,
        scale,
        offset,
        zIndex,
        clip,
        shadow,
        help,
        contentShape,
        hitTesting,
        disabled,
        hover,
        tap,
        rightClick,
        contextMenu,
        drag,
        appear,
        disappear,
        frameReport,
        animation,
        environment,
        id,
        fixedSize,
        rotation,
        focusable,
        cursor,
        accessibility,
    };

    Kind kind = Kind::empty;
    Mod mod = Mod::frame;
    // Mostly one or two, standing inside the element.
    using Children = InlineVector<Node, 2>;
    Children children;

    // An evaluation makes thousands of elements, most of them modifiers that use one or two of the
    // values below: the common ones stand inline, the rest in `Extras`, made only for the elements
    // that set them, and the texts and handlers share one slot each, as no element has two.

    // Stacks, frames, decorations.
    Axis axis = Axis::horizontal;
    Alignment alignment;
    double spacing = 8;
    // Shapes, clips and content shapes.
    Shape shape;
    std::optional<Paint> fill;
    // Images.
    ImageKind imageKind = ImageKind::symbol;
    bool resizable = false;
    // Modifiers.
    std::optional<double> width, height;
    EdgeInsets insets;
    double amount = 1;  // opacity, z-index, rotation in radians
    Size scale{1, 1};
    UnitPoint anchor = UnitPoint::center();
    Point offsetBy;
    bool flag = true;   // hit testing allowed, disabled, fixed size horizontally, accessibility button
    bool flag2 = true;  // fixed size vertically
    bool highPriority = false;
    int tapCount = 1;
    std::shared_ptr<const DragGesture> drag;
    std::optional<Animation> animationValue;
    // The text of a text, the name of an image, the placeholder of a text field; the identifier,
    // animation key, help or accessibility text of those modifiers.
    std::string label;
    // The handler of a modifier: an action (tap, right click, appear, disappear), a hover handler,
    // a menu builder, a frame report, an environment change or a key handler.
    using Handler =
        std::variant<std::monostate, std::function<void()>, std::function<void(bool)>, std::function<Menu()>,
                     std::function<void(Rect)>, std::function<void(Environment&)>, KeyHandler>;
    Handler handler;
    template <class F>
    const F* handlerAs() const {
        return std::get_if<F>(&handler);
    }

    struct Extras {
        // Spacer.
        std::optional<double> minLength;
        // Text and symbols.
        std::optional<Font> fontValue;
        std::optional<Color> color;
        std::optional<int> lineLimitValue;
        double tracking = 0;
        // Images.
        std::shared_ptr<const Image> bitmap;
        std::optional<ContentMode> contentMode;
        // Shapes.
        std::optional<Paint> stroke;
        double lineWidth = 1;
        bool strokeInside = false;
        // Material.
        Material material = Material::regular;
        BlendingMode blending = BlendingMode::behindWindow;
        // Scroll view.
        bool showsIndicators = true;
        bool scrollDisabled = false;
        std::shared_ptr<ScrollController> scroller;
        // Text field.
        Binding<std::string> textBinding;
        Binding<bool> focusBinding;
        std::function<void()> onSubmit;
        std::function<void()> onExitCommand;
        // List.
        std::shared_ptr<const ListSpec> list;
        // View and stateful builder.
        std::shared_ptr<View> viewObject;
        std::function<Node(std::any&, std::function<void()> invalidate)> statefulBuild;
        std::function<std::any()> statefulInitial;
        // Memo.
        std::shared_ptr<const MemoInputs> memo;
        // Flexible frame.
        std::optional<double> minWidth, idealWidth, maxWidth, minHeight, idealHeight, maxHeight;
        // Shadow.
        Color shadowColor = Color::black(0.33);
        double shadowRadius = 0;
        Cursor cursorKind = Cursor::arrow;

        static void* operator new(size_t) {
            return blockpool::FreeList<sizeof(Extras), alignof(Extras)>::allocate();
        }
        static void operator delete(void* p) noexcept {
            blockpool::FreeList<sizeof(Extras), alignof(Extras)>::release(p);
        }
    };
    // The extras, or their defaults for an element that has none.
    const Extras& extras() const { return extras_ ? *extras_ : kNoExtras; }
    Extras& editExtras() {
        if (!extras_) extras_ = std::make_unique<Extras>();
        return *extras_;
    }

    Element() = default;
    Element(const Element& other)
        : std::enable_shared_from_this<Element>(other),
          kind(other.kind),
          mod(other.mod),
          children(other.children),
          axis(other.axis),
          alignment(other.alignment),
          spacing(other.spacing),
          shape(other.shape),
          fill(other.fill),
          imageKind(other.imageKind),
          resizable(other.resizable),
          width(other.width),
          height(other.height),
          insets(other.insets),
          amount(other.amount),
          scale(other.scale),
          anchor(other.anchor),
          offsetBy(other.offsetBy),
          flag(other.flag),
          flag2(other.flag2),
          highPriority(other.highPriority),
          tapCount(other.tapCount),
          drag(other.drag),
          animationValue(other.animationValue),
          label(other.label),
          handler(other.handler),
          extras_(other.extras_ ? std::make_unique<Extras>(*other.extras_) : nullptr) {}
    Element& operator=(const Element&) = delete;

    // Modifiers, as SwiftUI's; each wraps the node in a new one.
    Node frame(std::optional<double> width, std::optional<double> height,
               Alignment alignment = Alignment::center()) const;
    struct FlexFrame {
        std::optional<double> minWidth = std::nullopt, idealWidth = std::nullopt, maxWidth = std::nullopt;
        std::optional<double> minHeight = std::nullopt, idealHeight = std::nullopt, maxHeight = std::nullopt;
        Alignment alignment = Alignment::center();
    };
    Node frame(const FlexFrame& f) const;
    Node padding(double all = 8) const;
    Node padding(EdgeInsets insets) const;
    Node background(Node content, Alignment alignment = Alignment::center()) const;
    Node background(Color color) const;
    Node overlay(Node content, Alignment alignment = Alignment::center()) const;
    Node opacity(double o) const;
    Node scaleEffect(double s, UnitPoint anchor = UnitPoint::center()) const;
    Node offset(double x, double y) const;
    Node zIndex(double z) const;
    Node clipShape(Shape s) const;
    Node mask(Shape s) const { return clipShape(s); }
    Node shadow(Color color, double radius, double x = 0, double y = 0) const;
    Node help(std::string text) const;
    // What assistive technologies read for the view, and whether they announce it as a button.
    Node accessibilityLabel(std::string label, bool isButton = false) const;
    Node contentShape(Shape s = Shape::rect()) const;
    Node allowsHitTesting(bool allowed) const;
    Node disabled(bool disabled) const;
    Node onHover(std::function<void(bool)> handler) const;
    Node onTapGesture(std::function<void()> action, int count = 1) const;
    Node onRightClick(std::function<void()> action) const;
    Node contextMenu(std::function<Menu()> builder) const;
    Node gesture(DragGesture drag, bool highPriority = false) const;
    Node onAppear(std::function<void()> action) const;
    Node onDisappear(std::function<void()> action) const;
    // Reports the node's frame in the hosting view's content space after every layout that moved it.
    Node onGlobalFrameChange(std::function<void(Rect)> handler) const;
    // Animates the changes of the subtree whenever `value` differs from its last evaluation; no
    // animation (nullopt) makes the change immediate.
    template <class T>
    Node animation(std::optional<Animation> a, const T& value) const {
        return animationKeyed(std::move(a), animationKeyOf(value));
    }
    Node animationKeyed(std::optional<Animation> a, std::string key) const;
    Node environment(std::function<void(Environment&)> change) const;
    Node colorScheme(ColorScheme scheme) const;
    Node font(Font f) const;
    Node foregroundStyle(Color c) const;
    Node lineLimit(std::optional<int> n) const;
    Node id(std::string identifier) const;
    Node fixedSize(bool horizontal = true, bool vertical = true) const;
    Node rotationEffect(double radians) const;
    Node onKeyDown(KeyHandler handler) const;
    Node cursor(Cursor c) const;

    // Shape styling; only meaningful on shapes.
    Node fillWith(Paint p) const;
    Node strokeWith(Paint p, double lineWidth) const;
    Node strokeBorder(Paint p, double lineWidth) const;
    // Image styling.
    Node resizableImage() const;
    Node aspectRatio(ContentMode mode) const;

    template <class T>
    static std::string animationKeyOf(const T& v) {
        if constexpr (std::is_same_v<T, std::string>) {
            return v;
        } else if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, int> || std::is_same_v<T, long> ||
                             std::is_same_v<T, long long> || std::is_same_v<T, unsigned> ||
                             std::is_same_v<T, unsigned long> || std::is_same_v<T, unsigned long long>) {
            return std::to_string(v);  // as a stream writes it, without making one
        } else if constexpr (requires {
                                 v.has_value();
                                 *v;
                             }) {
            return v ? "some:" + animationKeyOf(*v) : "none";
        } else {
            std::ostringstream os;
            os << v;
            return os.str();
        }
    }

  private:
    std::shared_ptr<Element> wrap(Mod m) const;
    static const Extras kNoExtras;
    std::unique_ptr<Extras> extras_;
};

}  // namespace qv
