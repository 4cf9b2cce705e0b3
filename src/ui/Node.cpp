#include "ui/Node.h"

#include <algorithm>
#include <cmath>

#include "ui/BlockPool.h"

namespace qv {

const Element::Extras Element::kNoExtras{};

namespace {

template <class... Args>
std::shared_ptr<Element> newElement(Args&&... args) {
    return std::allocate_shared<Element>(blockpool::Allocator<Element>{}, std::forward<Args>(args)...);
}

std::shared_ptr<Element> make(Element::Kind kind) {
    auto e = newElement();
    e->kind = kind;
    return e;
}

Element::Children compact(std::vector<Node> children) {
    Element::Children out;
    out.reserve(children.size());
    for (Node& n : children) {
        if (n) out.push_back(std::move(n));
    }
    return out;
}

}  // namespace

double Shape::radiusIn(const Rect& r) const {
    double half = std::min(r.width(), r.height()) / 2;
    switch (kind) {
        case ShapeKind::rectangle:
            return 0;
        case ShapeKind::roundedRectangle:
            return std::min(cornerRadius, half);
        case ShapeKind::capsule:
        case ShapeKind::circle:
            return half;
    }
    return 0;
}

bool Shape::contains(const Rect& f, Point p) const {
    if (!f.contains(p)) return false;
    if (kind == ShapeKind::circle) {
        double rx = f.width() / 2, ry = f.height() / 2;
        double dx = (p.x - f.midX()) / rx, dy = (p.y - f.midY()) / ry;
        return dx * dx + dy * dy <= 1;
    }
    double r = radiusIn(f);
    if (r <= 0) return true;
    // Outside only in the corner squares, beyond the corner arc.
    double cx = std::clamp(p.x, f.minX() + r, f.maxX() - r);
    double cy = std::clamp(p.y, f.minY() + r, f.maxY() - r);
    double dx = p.x - cx, dy = p.y - cy;
    return dx * dx + dy * dy <= r * r;
}

std::shared_ptr<Element> Element::wrap(Mod m) const {
    auto e = make(Kind::modifier);
    e->mod = m;
    e->children.push_back(shared_from_this());
    return e;
}

Node Element::frame(std::optional<double> w, std::optional<double> h, Alignment a) const {
    auto e = wrap(Mod::frame);
    e->width = w;
    e->height = h;
    e->alignment = a;
    return e;
}

Node Element::frame(const FlexFrame& f) const {
    auto e = wrap(Mod::flexFrame);
    Element::Extras& x = e->editExtras();
    x.minWidth = f.minWidth;
    x.idealWidth = f.idealWidth;
    x.maxWidth = f.maxWidth;
    x.minHeight = f.minHeight;
    x.idealHeight = f.idealHeight;
    x.maxHeight = f.maxHeight;
    e->alignment = f.alignment;
    return e;
}

Node Element::padding(double all) const {
    return padding(EdgeInsets::all(all));
}
Node Element::padding(EdgeInsets insets) const {
    auto e = wrap(Mod::padding);
    e->insets = insets;
    return e;
}

Node Element::background(Node content, Alignment a) const {
    auto e = wrap(Mod::background);
    e->children.push_back(content ? content : EmptyNode());
    e->alignment = a;
    return e;
}
Node Element::background(Color c) const {
    return background(Fill(c));
}

Node Element::overlay(Node content, Alignment a) const {
    auto e = wrap(Mod::overlay);
    e->children.push_back(content ? content : EmptyNode());
    e->alignment = a;
    return e;
}

Node Element::opacity(double o) const {
    auto e = wrap(Mod::opacity);
    e->amount = o;
    return e;
}

Node Element::scaleEffect(double s, UnitPoint a) const {
    auto e = wrap(Mod::scale);
    e->scale = {s, s};
    e->anchor = a;
    return e;
}

Node Element::offset(double x, double y) const {
    auto e = wrap(Mod::offset);
    e->offsetBy = {x, y};
    return e;
}

Node Element::zIndex(double z) const {
    auto e = wrap(Mod::zIndex);
    e->amount = z;
    return e;
}

Node Element::clipShape(Shape s) const {
    auto e = wrap(Mod::clip);
    e->shape = s;
    return e;
}

Node Element::shadow(Color c, double radius, double x, double y) const {
    auto e = wrap(Mod::shadow);
    e->editExtras().shadowColor = c;
    e->editExtras().shadowRadius = radius;
    e->offsetBy = {x, y};
    return e;
}

Node Element::help(std::string t) const {
    auto e = wrap(Mod::help);
    e->label = std::move(t);
    return e;
}

Node Element::accessibilityLabel(std::string label, bool isButton) const {
    auto e = wrap(Mod::accessibility);
    e->label = std::move(label);
    e->flag = isButton;
    return e;
}

Node Element::contentShape(Shape s) const {
    auto e = wrap(Mod::contentShape);
    e->shape = s;
    return e;
}

Node Element::allowsHitTesting(bool allowed) const {
    auto e = wrap(Mod::hitTesting);
    e->flag = allowed;
    return e;
}

Node Element::disabled(bool d) const {
    auto e = wrap(Mod::disabled);
    e->flag = d;
    return e;
}

Node Element::onHover(std::function<void(bool)> handler) const {
    auto e = wrap(Mod::hover);
    e->handler = std::move(handler);
    return e;
}

Node Element::onTapGesture(std::function<void()> a, int count) const {
    auto e = wrap(Mod::tap);
    e->handler = std::move(a);
    e->tapCount = count;
    return e;
}

Node Element::onRightClick(std::function<void()> a) const {
    auto e = wrap(Mod::rightClick);
    e->handler = std::move(a);
    return e;
}

Node Element::contextMenu(std::function<Menu()> builder) const {
    auto e = wrap(Mod::contextMenu);
    e->handler = std::move(builder);
    return e;
}

Node Element::gesture(DragGesture d, bool high) const {
    auto e = wrap(Mod::drag);
    e->drag = std::make_shared<const DragGesture>(std::move(d));
    e->highPriority = high;
    return e;
}

Node Element::onAppear(std::function<void()> a) const {
    auto e = wrap(Mod::appear);
    e->handler = std::move(a);
    return e;
}

Node Element::onDisappear(std::function<void()> a) const {
    auto e = wrap(Mod::disappear);
    e->handler = std::move(a);
    return e;
}

Node Element::onGlobalFrameChange(std::function<void(Rect)> handler) const {
    auto e = wrap(Mod::frameReport);
    e->handler = std::move(handler);
    return e;
}

Node Element::animationKeyed(std::optional<Animation> a, std::string key) const {
    auto e = wrap(Mod::animation);
    e->animationValue = a;
    e->label = std::move(key);
    return e;
}

Node Element::environment(std::function<void(Environment&)> change) const {
    auto e = wrap(Mod::environment);
    e->handler = std::move(change);
    return e;
}

Node Element::colorScheme(ColorScheme scheme) const {
    return environment([scheme](Environment& env) { env.colorScheme = scheme; });
}
Node Element::font(Font f) const {
    return environment([f](Environment& env) { env.font = f; });
}
Node Element::foregroundStyle(Color c) const {
    return environment([c](Environment& env) { env.foreground = c; });
}
Node Element::lineLimit(std::optional<int> n) const {
    return environment([n](Environment& env) { env.lineLimit = n; });
}

Node Element::id(std::string identifier) const {
    auto e = wrap(Mod::id);
    e->label = std::move(identifier);
    return e;
}

Node Element::fixedSize(bool h, bool v) const {
    auto e = wrap(Mod::fixedSize);
    e->flag = h;
    e->flag2 = v;
    return e;
}

Node Element::rotationEffect(double radians) const {
    auto e = wrap(Mod::rotation);
    e->amount = radians;
    return e;
}

Node Element::onKeyDown(KeyHandler handler) const {
    auto e = wrap(Mod::focusable);
    e->handler = std::move(handler);
    return e;
}

Node Element::cursor(Cursor c) const {
    auto e = wrap(Mod::cursor);
    e->editExtras().cursorKind = c;
    return e;
}

Node Element::fillWith(Paint p) const {
    auto e = newElement(*this);
    e->fill = std::move(p);
    return e;
}

Node Element::strokeWith(Paint p, double w) const {
    auto e = newElement(*this);
    e->editExtras().stroke = std::move(p);
    e->editExtras().lineWidth = w;
    e->editExtras().strokeInside = false;
    return e;
}

Node Element::strokeBorder(Paint p, double w) const {
    auto e = newElement(*this);
    e->editExtras().stroke = std::move(p);
    e->editExtras().lineWidth = w;
    e->editExtras().strokeInside = true;
    return e;
}

Node Element::resizableImage() const {
    auto e = newElement(*this);
    e->resizable = true;
    return e;
}

Node Element::aspectRatio(ContentMode mode) const {
    auto e = newElement(*this);
    e->editExtras().contentMode = mode;
    return e;
}

Node HStack(VerticalAlignment alignment, std::optional<double> spacing, std::vector<Node> children) {
    auto e = make(Element::Kind::stack);
    e->axis = Axis::horizontal;
    e->alignment.vertical = alignment;
    e->spacing = spacing.value_or(8);
    e->children = compact(std::move(children));
    return e;
}

Node VStack(HorizontalAlignment alignment, std::optional<double> spacing, std::vector<Node> children) {
    auto e = make(Element::Kind::stack);
    e->axis = Axis::vertical;
    e->alignment.horizontal = alignment;
    e->spacing = spacing.value_or(8);
    e->children = compact(std::move(children));
    return e;
}

Node ZStack(Alignment alignment, std::vector<Node> children) {
    auto e = make(Element::Kind::zstack);
    e->alignment = alignment;
    e->children = compact(std::move(children));
    return e;
}

Node Group(std::vector<Node> children) {
    auto e = make(Element::Kind::group);
    e->children = compact(std::move(children));
    return e;
}

Node EmptyNode() {
    return make(Element::Kind::empty);
}

Node Spacer(std::optional<double> minLength) {
    auto e = make(Element::Kind::spacer);
    if (minLength) e->editExtras().minLength = minLength;
    return e;
}

Node Divider() {
    return make(Element::Kind::divider);
}

Node Text(std::string text, TextStyle style) {
    auto e = make(Element::Kind::text);
    e->label = std::move(text);
    if (style.font || style.color || style.lineLimit || style.tracking != 0) {
        Element::Extras& x = e->editExtras();
        x.fontValue = style.font;
        x.color = style.color;
        x.lineLimitValue = style.lineLimit;
        x.tracking = style.tracking;
    }
    return e;
}

Node SymbolImage(std::string name, std::optional<Font> font, std::optional<Color> color) {
    auto e = make(Element::Kind::image);
    e->imageKind = ImageKind::symbol;
    e->label = std::move(name);
    if (font || color) {
        e->editExtras().fontValue = font;
        e->editExtras().color = color;
    }
    return e;
}

namespace {

Node imageNode(std::shared_ptr<const Image> image, ImageKind kind) {
    auto e = make(Element::Kind::image);
    e->imageKind = kind;
    if (image) e->label = image->name;
    e->editExtras().bitmap = std::move(image);
    return e;
}

}  // namespace

Node IconImage(const Image& icon) {
    return imageNode(std::make_shared<const Image>(icon), ImageKind::appIcon);
}

Node BitmapImage(const Image& bitmap) {
    return imageNode(std::make_shared<const Image>(bitmap), ImageKind::bitmap);
}

Node IconImage(std::shared_ptr<const Image> icon) {
    return imageNode(std::move(icon), ImageKind::appIcon);
}

Node BitmapImage(std::shared_ptr<const Image> bitmap) {
    return imageNode(std::move(bitmap), ImageKind::bitmap);
}

Node ShapeView(Shape s) {
    auto e = make(Element::Kind::shape);
    e->shape = s;
    return e;
}

Node Fill(Paint p) {
    return Rectangle()->fillWith(std::move(p));
}

Node MaterialView(Material m, BlendingMode blending) {
    auto e = make(Element::Kind::material);
    e->editExtras().material = m;
    e->editExtras().blending = blending;
    return e;
}

Node ProgressSpinner() {
    return make(Element::Kind::spinner);
}

Node ScrollView(Axis axis, Node content, ScrollOptions options) {
    auto e = make(Element::Kind::scroll);
    e->axis = axis;
    e->children.push_back(content ? content : EmptyNode());
    if (!options.showsIndicators || options.disabled || options.controller) {
        Element::Extras& x = e->editExtras();
        x.showsIndicators = options.showsIndicators;
        x.scrollDisabled = options.disabled;
        x.scroller = options.controller;
    }
    return e;
}

// A push button of the regular control size is 20 points tall: the line of its 13-point label with
// 2 above and below, as the platform draws its bezel.
constexpr double kRegularButtonHeight = 20;
constexpr double kBezelPadding = 2;

Node Button(Node label, std::function<void()> action, ButtonStyle style, bool destructive) {
    Node face = label ? label : EmptyNode();
    if (style == ButtonStyle::bordered) {
        face = face->padding(EdgeInsets::symmetric(9, kBezelPadding))
                   ->frame(Element::FlexFrame{.minHeight = kRegularButtonHeight})
                   ->background(
                       RoundedRectangle(5)
                           ->fillWith(Color::controlBackground())
                           ->overlay(RoundedRectangle(5)->strokeBorder(Color::primary().opacity(0.18), 0.5)))
                   ->foregroundStyle(destructive ? Color::red() : Color::primary());
    } else if (style == ButtonStyle::borderedProminent) {
        face = face->padding(EdgeInsets::symmetric(9, kBezelPadding))
                   ->frame(Element::FlexFrame{.minHeight = kRegularButtonHeight})
                   ->background(RoundedRectangle(5)->fillWith(destructive ? Color::red() : Color::accent()))
                   ->foregroundStyle(Color::white());
    }
    return face->contentShape()->onTapGesture(std::move(action));
}

Node Button(std::string title, std::function<void()> action, ButtonStyle style, bool destructive) {
    return Button(Text(std::move(title), {.lineLimit = 1}), std::move(action), style, destructive);
}

Node Toggle(Binding<bool> isOn, std::string label, ControlSize size) {
    double w = size == ControlSize::small || size == ControlSize::mini ? 32 : 38;
    double h = size == ControlSize::small || size == ControlSize::mini ? 18 : 22;
    bool on = isOn.get ? isOn.get() : false;
    Node knob =
        Circle()->fillWith(Color::white())->shadow(Color::black(0.25), 1, 0, 0.5)->frame(h - 4, h - 4);
    Node track =
        ZStack(on ? Alignment::trailing() : Alignment::leading(),
               {Capsule()->fillWith(on ? Color::accent() : Color::primary().opacity(0.12)), knob->padding(2)})
            ->frame(w, h);
    Node face = label.empty() ? track : HStack(VerticalAlignment::center, 8, {Text(label), Spacer(0), track});
    return face->contentShape()->onTapGesture([isOn] {
        if (isOn.get && isOn.set) isOn.set(!isOn.get());
    });
}

Node SegmentedPicker(std::vector<PickerOption> options, Binding<std::string> selection, ControlSize size) {
    double h = size == ControlSize::small || size == ControlSize::mini ? 18 : 22;
    Font f = Font::system(size == ControlSize::small || size == ControlSize::mini ? 11 : 13);
    double widest = 0;
    for (const auto& o : options) widest = std::max(widest, textmetrics::width(o.label, f));
    std::string current = selection.get ? selection.get() : std::string();
    std::vector<Node> segments;
    for (const auto& o : options) {
        bool selected = o.tag == current;
        Node label = Text(o.label, {.font = f, .color = Color::primary(), .lineLimit = 1})
                         ->frame(std::ceil(widest) + 16, h)
                         ->background(selected ? RoundedRectangle(4)
                                                     ->fillWith(Color::controlBackground())
                                                     ->shadow(Color::black(0.2), 1, 0, 0.5)
                                               : EmptyNode());
        std::string tag = o.tag;
        segments.push_back(label->contentShape()->onTapGesture([selection, tag] {
            if (selection.set) selection.set(tag);
        }));
    }
    return HStack(VerticalAlignment::center, 1, std::move(segments))
        ->padding(1)
        ->background(RoundedRectangle(5)->fillWith(Color::primary().opacity(0.08)));
}

Node TextField(std::string placeholder, Binding<std::string> text, TextFieldOptions options) {
    auto e = make(Element::Kind::textField);
    e->label = std::move(placeholder);
    Element::Extras& x = e->editExtras();
    x.textBinding = std::move(text);
    x.focusBinding = std::move(options.focused);
    x.onSubmit = std::move(options.onSubmit);
    x.onExitCommand = std::move(options.onExitCommand);
    x.fontValue = options.font;
    return e;
}

Node List(ListSpec spec) {
    auto e = make(Element::Kind::list);
    e->editExtras().list = std::make_shared<const ListSpec>(std::move(spec));
    return e;
}

Node ViewNode(std::shared_ptr<View> view) {
    auto e = make(Element::Kind::view);
    e->editExtras().viewObject = std::move(view);
    return e;
}

Node MemoNode(std::shared_ptr<const MemoInputs> inputs) {
    auto e = make(Element::Kind::memo);
    e->editExtras().memo = std::move(inputs);
    return e;
}

Node StatefulNode(std::function<std::any()> initial,
                  std::function<Node(std::any&, std::function<void()> invalidate)> build) {
    auto e = make(Element::Kind::stateful);
    e->editExtras().statefulInitial = std::move(initial);
    e->editExtras().statefulBuild = std::move(build);
    return e;
}

}  // namespace qv
