// Resolving a node tree: views evaluated in place, state and environment attached, and every node
// given its identity (path), groups joined to their parents and neutral modifiers dropped.
#include <charconv>

#include "ui/HostingView.h"
#include "ui/LayoutRules.h"

namespace qv {

namespace {

using Kind = Element::Kind;
using Mod = Element::Mod;
using layout::isPointerModifier;
using layout::outlineOf;
using layout::zIndexOf;

// A modifier that changes nothing where it stands: full opacity, no scale, offset, rotation or
// z-index.
bool isNeutral(const Element& e) {
    switch (e.mod) {
        case Mod::opacity:
            return e.amount == 1;
        case Mod::scale:
            return e.scale.width == 1 && e.scale.height == 1;
        case Mod::offset:
            return e.offsetBy.x == 0 && e.offsetBy.y == 0;
        case Mod::rotation:
        case Mod::zIndex:
            return e.amount == 0;
        default:
            return false;
    }
}

// Whether a neutral modifier's content can stand in its place: only where no rule that looks at
// the nodes around it (stacks' spacers, groups joining their parent, the walks for a gesture's
// content shape, a shadow's outline and the z-index) would see the difference.
bool mayStandInPlaceOf(const RNode& content, Mod m) {
    const Element& c = *content.el;
    if (c.kind == Kind::spacer || c.kind == Kind::group) return false;
    if (c.kind == Kind::modifier && (c.mod == Mod::contentShape || isPointerModifier(c.mod))) return false;
    if (m != Mod::opacity && outlineOf(content)) return false;
    return m != Mod::zIndex || zIndexOf(content) == 0;
}

}  // namespace

const std::string& PathSegment::str() const {
    if (!spelt.empty() || (separator.empty() && text.empty())) return spelt;
    // From here up to the nearest ancestor already spelt, whose spelling is the prefix.
    size_t length = 0;
    const PathSegment* top = this;
    for (; top && top->spelt.empty(); top = top->parent) length += top->separator.size() + top->text.size();
    const size_t prefix = top ? top->spelt.size() : 0;
    spelt.resize(prefix + length);
    if (top) spelt.replace(0, prefix, top->spelt);
    size_t end = prefix + length;
    for (const PathSegment* s = this; s != top; s = s->parent) {
        end -= s->text.size();
        std::copy(s->text.begin(), s->text.end(), spelt.begin() + static_cast<std::ptrdiff_t>(end));
        end -= s->separator.size();
        std::copy(s->separator.begin(), s->separator.end(), spelt.begin() + static_cast<std::ptrdiff_t>(end));
    }
    return spelt;
}

const PathSegment* LayoutPass::segment(const PathSegment* parent, std::string_view separator,
                                       std::string_view text) {
    auto& blocks = result_.segmentBlocks;
    const size_t block = segmentCount_ / kSegmentBlock;
    if (block == blocks.size()) blocks.emplace_back(new PathSegment[kSegmentBlock]);
    PathSegment& s = blocks[block][segmentCount_++ % kSegmentBlock];
    s.spelt.clear();  // a block handed over from an earlier pass
    s.parent = parent;
    s.separator = separator;
    s.text = text;
    return &s;
}

const PathSegment* LayoutPass::segment(const PathSegment* parent, size_t index) {
    auto* s = const_cast<PathSegment*>(segment(parent, "/"));
    char* end = std::to_chars(s->digits, s->digits + sizeof s->digits, index).ptr;
    s->text = std::string_view(s->digits, size_t(end - s->digits));
    return s;
}

const Environment& LayoutPass::keepEnvironment(const Environment& env) {
    return result_.environments.emplace_back(env);
}

std::any& LayoutPass::stateOf(const std::string& path, const std::function<std::any()>& initial) {
    if (!out_) return in_.states->entry(path, initial).value;
    auto& entry = in_.states->live(path, initial, in_.layout);
    if (recording_) recording_->states.push_back(&entry.layout);
    return entry.value;
}

std::unique_ptr<RNode> LayoutPass::resolveRoot(const Node& node) {
    result_.pathTexts.push_back(node);
    return resolve(node, segment(nullptr, {}, "r"), keepEnvironment(in_.env), std::nullopt);
}

std::unique_ptr<RNode> LayoutPass::resolve(const Node& node, const PathSegment* path, const Environment& env,
                                           std::optional<Axis> parentAxis) {
    if (!node) return nullptr;
    const Element& e = *node;
    if (e.kind == Kind::view && !e.extras().viewObject) return nullptr;
    if (memoScope_) {
        switch (layout::memoUse(e)) {
            case layout::MemoUse::reuse:
                break;
            case layout::MemoUse::buildInPlace:
                memoScope_->relative = false;
                break;
            case layout::MemoUse::build:
                memoScope_->reusable = false;
                break;
        }
    }
    switch (e.kind) {
        case Kind::empty:
            return nullptr;
        case Kind::view: {
            const auto& view = e.extras().viewObject;
            in_.attachView(*view, env);
            result_.views.push_back(view);
            return resolve(view->body(), path, env, parentAxis);
        }
        case Kind::stateful: {
            // Only the tree of an update keeps state alive; a measuring pass's does not.
            std::any& storage = stateOf(path->str(), e.extras().statefulInitial);
            Node built = e.extras().statefulBuild(storage, invalidator());
            return resolve(built, segment(path, "~"), env, parentAxis);
        }
        case Kind::memo:
            return resolveMemo(node, path, env, parentAxis);
        case Kind::modifier: {
            const Environment* inner = &env;
            const auto* change = e.handlerAs<std::function<void(Environment&)>>();
            if ((e.mod == Mod::environment && change && *change) || (e.mod == Mod::disabled && e.flag)) {
                Environment changed = env;
                if (e.mod == Mod::environment) (*change)(changed);
                if (e.mod == Mod::disabled) changed.isEnabled = false;
                inner = &keepEnvironment(changed);
            }
            const PathSegment* childPath = segment(path, "/m");
            auto child = resolve(e.children[0], childPath, *inner, parentAxis);
            if (!child) {
                // Modifiers of nothing draw nothing, except backgrounds and overlays, which still
                // stand for their decoration of an empty frame.
                if (e.mod != Mod::frame && e.mod != Mod::flexFrame && e.mod != Mod::padding) return nullptr;
                child = std::make_unique<RNode>(EmptyNode(), childPath, *inner, parentAxis);
            }
            // The content keeps its own path, so its state is the same with or without the modifier.
            if (isNeutral(e) && mayStandInPlaceOf(*child, e.mod)) return child;
            auto n =
                std::make_unique<RNode>(node, path, e.mod == Mod::environment ? *inner : env, parentAxis);
            const bool decorated = e.mod == Mod::background || e.mod == Mod::overlay;
            n->kids.reserve(decorated ? 2 : 1);
            n->kids.push_back(std::move(child));
            if (decorated) {
                auto deco = resolve(e.children[1], segment(path, e.mod == Mod::background ? "/bg" : "/ov"),
                                    *inner, std::nullopt);
                if (!deco)
                    deco = std::make_unique<RNode>(EmptyNode(), segment(path, "/bg"), *inner, std::nullopt);
                n->kids.push_back(std::move(deco));
            }
            return n;
        }
        case Kind::scroll: {
            auto n = std::make_unique<RNode>(node, path, env, parentAxis);
            const PathSegment* contentPath = segment(path, "/c");
            auto content = resolve(e.children[0], contentPath, env, std::nullopt);
            if (!content) content = std::make_unique<RNode>(EmptyNode(), contentPath, env, std::nullopt);
            n->kids.push_back(std::move(content));
            return n;
        }
        case Kind::list: {
            auto n = std::make_unique<RNode>(node, path, env, parentAxis);
            // The list's drag, which the drawing reads, lives as long as the list.
            if (out_) n->state = &stateOf(path->str() + "#drag", [] { return std::any(ListDragState{}); });
            result_.pathTexts.push_back(node);
            for (const ListRow& row : e.extras().list->rows) {
                const PathSegment* rowPath = segment(path, "/#", row.id);
                auto content = resolve(row.content, rowPath, env, std::nullopt);
                if (!content) content = std::make_unique<RNode>(EmptyNode(), rowPath, env, std::nullopt);
                n->kids.push_back(std::move(content));
            }
            return n;
        }
        case Kind::textField: {
            if (e.extras().focusBinding && e.extras().focusBinding.get()) result_.focusedPath = path->str();
            return std::make_unique<RNode>(node, path, env, parentAxis);
        }
        case Kind::group:
        case Kind::stack:
        case Kind::zstack: {
            auto n = std::make_unique<RNode>(node, path, env, parentAxis);
            std::optional<Axis> childAxis;
            if (e.kind == Kind::stack) childAxis = e.axis;
            if (e.kind == Kind::group) childAxis = parentAxis;
            n->kids.reserve(e.children.size());
            resolveChildren(e.children, path, env, childAxis, n->kids);
            if (e.kind == Kind::group && n->kids.size() == 1) return std::move(n->kids[0]);
            if (n->kids.empty() && e.kind == Kind::group) return nullptr;
            return n;
        }
        default:
            return std::make_unique<RNode>(node, path, env, parentAxis);
    }
}

void LayoutPass::resolveChildren(const Element::Children& children, const PathSegment* path,
                                 const Environment& env, std::optional<Axis> axis, RNode::Kids& out) {
    for (size_t i = 0; i < children.size(); ++i) {
        const Node& c = children[i];
        if (!c) continue;
        // The child's identity: its id, else its place among its siblings.
        const PathSegment* childPath;
        if (c->kind == Kind::modifier && c->mod == Mod::id) {
            result_.pathTexts.push_back(c);
            childPath = segment(path, "/#", c->label);
        } else {
            childPath = segment(path, i);
        }
        if (c->kind == Kind::group) {
            // Groups have no layout of their own: their children join the parent.
            resolveChildren(c->children, childPath, env, axis, out);
            continue;
        }
        if (auto r = resolve(c, childPath, env, axis)) {
            if (r->el->kind == Kind::group) {
                for (auto& k : r->kids) out.push_back(std::move(k));
            } else {
                out.push_back(std::move(r));
            }
        }
    }
}

}  // namespace qv
