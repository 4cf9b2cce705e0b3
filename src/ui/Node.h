#pragma once

#include <any>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "ui/Element.h"

namespace qv {

// The builders a view's body makes its node tree with; Element.h holds what a node is.

struct StackOptions {
    std::optional<double> spacing;  // nullopt: the platform's standard spacing of 8
};
Node HStack(VerticalAlignment alignment, std::optional<double> spacing, std::vector<Node> children);
Node VStack(HorizontalAlignment alignment, std::optional<double> spacing, std::vector<Node> children);
inline Node HStack(std::vector<Node> children) {
    return HStack(VerticalAlignment::center, std::nullopt, std::move(children));
}
inline Node VStack(std::vector<Node> children) {
    return VStack(HorizontalAlignment::center, std::nullopt, std::move(children));
}
Node ZStack(Alignment alignment, std::vector<Node> children);
inline Node ZStack(std::vector<Node> children) {
    return ZStack(Alignment::center(), std::move(children));
}
Node Group(std::vector<Node> children);
Node EmptyNode();
Node Spacer(std::optional<double> minLength = std::nullopt);
Node Divider();

struct TextStyle {
    std::optional<Font> font = std::nullopt;
    std::optional<Color> color = std::nullopt;
    std::optional<int> lineLimit = std::nullopt;
    double tracking = 0;
};
Node Text(std::string text, TextStyle style = {});

Node SymbolImage(std::string name, std::optional<Font> font = std::nullopt,
                 std::optional<Color> color = std::nullopt);
// An application's icon: its pixels when it has them, else a tile drawn from its name.
Node IconImage(const Image& icon);
Node BitmapImage(const Image& bitmap);
// The same, drawing an image shared with its owner rather than a copy of it (none: an empty tile).
Node IconImage(std::shared_ptr<const Image> icon);
Node BitmapImage(std::shared_ptr<const Image> bitmap);

Node ShapeView(Shape s);
inline Node Rectangle() {
    return ShapeView(Shape::rect());
}
inline Node RoundedRectangle(double radius, bool continuous = true) {
    return ShapeView(Shape::roundedRect(radius, continuous));
}
inline Node Capsule() {
    return ShapeView(Shape::capsule());
}
inline Node Circle() {
    return ShapeView(Shape::circle());
}
// A colour or gradient filling all space offered to it.
Node Fill(Paint p);

Node MaterialView(Material m, BlendingMode blending = BlendingMode::behindWindow);
Node ProgressSpinner();

struct ScrollOptions {
    bool showsIndicators = true;
    bool disabled = false;
    std::shared_ptr<ScrollController> controller = nullptr;
};
Node ScrollView(Axis axis, Node content, ScrollOptions options = {});

Node Button(Node label, std::function<void()> action, ButtonStyle style = ButtonStyle::plain,
            bool destructive = false);
Node Button(std::string title, std::function<void()> action, ButtonStyle style = ButtonStyle::bordered,
            bool destructive = false);
// A switch (or, with a label, a switch beside its label).
Node Toggle(Binding<bool> isOn, std::string label = {}, ControlSize size = ControlSize::regular);

struct PickerOption {
    std::string tag;
    std::string label;
};
Node SegmentedPicker(std::vector<PickerOption> options, Binding<std::string> selection,
                     ControlSize size = ControlSize::regular);

struct TextFieldOptions {
    Binding<bool> focused = {};
    std::function<void()> onSubmit = nullptr;
    std::function<void()> onExitCommand = nullptr;
    Font font = Font::system(13);
};
Node TextField(std::string placeholder, Binding<std::string> text, TextFieldOptions options = {});

Node List(ListSpec spec);

// A child view object; its body is evaluated where the node stands.
Node ViewNode(std::shared_ptr<View> view);

// View state kept by the hosting view for this node's place in the tree (SwiftUI's @State).
template <class T>
class State {
  public:
    State(T* value, std::function<void()> invalidate) : value_(value), invalidate_(std::move(invalidate)) {}
    const T& get() const { return *value_; }
    void set(T v) {
        *value_ = std::move(v);
        if (invalidate_) invalidate_();
    }
    Binding<T> binding() const {
        auto value = value_;
        auto inv = invalidate_;
        return {[value] { return *value; },
                [value, inv](T v) {
                    *value = std::move(v);
                    if (inv) inv();
                }};
    }

  private:
    T* value_;
    std::function<void()> invalidate_;
};

Node StatefulNode(std::function<std::any()> initial,
                  std::function<Node(std::any&, std::function<void()> invalidate)> build);

template <class T>
Node WithState(T initial, std::function<Node(State<T>)> build) {
    return StatefulNode([initial] { return std::any(initial); },
                        [build = std::move(build)](std::any& storage, std::function<void()> invalidate) {
                            return build(State<T>(std::any_cast<T>(&storage), std::move(invalidate)));
                        });
}

// View state held by reference (SwiftUI's @StateObject): the object lives as long as the node's place
// in the tree, and the handlers that keep a reference to it stay safe after that place is gone.
template <class T>
Node WithStateObject(std::function<std::shared_ptr<T>()> make,
                     std::function<Node(const std::shared_ptr<T>&, std::function<void()> invalidate)> build) {
    return StatefulNode([make = std::move(make)] { return std::any(make()); },
                        [build = std::move(build)](std::any& storage, std::function<void()> invalidate) {
                            return build(std::any_cast<std::shared_ptr<T>&>(storage), std::move(invalidate));
                        });
}

// The value a memoised subtree is built from, and its build.
class MemoInputs {
  public:
    virtual ~MemoInputs() = default;
    virtual bool equals(const MemoInputs& other) const = 0;
    virtual Node build() const = 0;
};

template <class T>
class MemoInputsOf final : public MemoInputs {
  public:
    MemoInputsOf(T&& value, Node (*build)(const T&)) : value_(std::move(value)), build_(build) {}
    bool equals(const MemoInputs& other) const override {
        if (typeid(other) != typeid(*this)) return false;
        const auto& o = static_cast<const MemoInputsOf&>(other);
        return o.build_ == build_ && o.value_ == value_;
    }
    Node build() const override { return build_(value_); }

  private:
    T value_;
    Node (*build_)(const T&);
};

Node MemoNode(std::shared_ptr<const MemoInputs> inputs);

// Whether two weak pointers share one owner: the equality of memo inputs that hold an object weakly.
template <class T>
bool sameOwner(const std::weak_ptr<T>& a, const std::weak_ptr<T>& b) {
    return !a.owner_before(b) && !b.owner_before(a);
}

// A subtree built by `build` from `inputs` alone. While the inputs and the environment stay equal
// to those of the last evaluation, the hosting view does not build, measure or place the subtree
// again: it reuses what the last evaluation made of it, moved where it now stands. So the build
// reads nothing but its argument, and the state it keeps (WithState, WithStateObject) tells its
// changes through the invalidation it is given. The subtree is one child of its parent (it joins
// no group and is no spacer), through which only its z-index shows.
template <class T>
Node Memo(T&& inputs, Node (*build)(const T&)) {
    return MemoNode(std::make_shared<const MemoInputsOf<T>>(std::forward<T>(inputs), build));
}

// One child per item, each identified by its key.
template <class Range, class KeyFn, class BuildFn>
Node ForEach(const Range& items, KeyFn key, BuildFn build) {
    std::vector<Node> children;
    for (const auto& item : items) children.push_back(build(item)->id(key(item)));
    return Group(std::move(children));
}

}  // namespace qv
