#include "tracking/WindowStoreRequests.h"

namespace qv {

namespace {

// A request that got no answer says nothing about the attribute, unlike one that finds no value.
bool isUnanswered(AXError err) {
    return err == kAXErrorCannotComplete || err == kAXErrorNotImplemented || err == kAXErrorFailure;
}

}  // namespace

AXError WindowStoreRequests::readAttribute(const AXElement& element, const std::string& attribute,
                                           Value& value) const {
    ax.setMessagingTimeout(element, timeout);
    const AXError err = ax.copyAttributeValue(element, attribute, value);
    if (heard) ++(isUnanswered(err) ? heard->unanswered : heard->answered);
    return err;
}

bool WindowStoreRequests::readAnswered(const AXElement& element, const std::string& attribute, Value& value,
                                       bool* unanswered) const {
    const AXError err = readAttribute(element, attribute, value);
    if (unanswered && isUnanswered(err)) *unanswered = true;
    return err == kAXErrorSuccess;
}

AXWindowList WindowStoreRequests::readWindowList(int32_t pid) const {
    const AXWindowElements list = readWindowElements(pid);
    size_t next = 0;
    AXWindowList out = readWindowEntries(list.elements, next, [] { return false; });
    out.hasList = list.hasList;
    return out;
}

AXWindowElements WindowStoreRequests::readWindowElements(int32_t pid) const {
    AXWindowElements out;
    Value list;
    if (readAttribute(ax.createApplication(pid), "AXWindows", list) != kAXErrorSuccess) return out;
    auto elements = list.asElementArray();
    if (!elements) return out;
    out.hasList = true;
    out.elements = std::move(*elements);
    return out;
}

std::optional<std::pair<uint32_t, AXWindowMetadata>> WindowStoreRequests::readWindowEntry(
    const AXElement& element) const {
    auto id = resolveWindowID(element);
    if (!id) return std::nullopt;
    AXWindowMetadata m;
    bool unanswered = false;
    m.title = readStringAttribute(element, "AXTitle");
    m.role = readStringAttribute(element, "AXRole", &unanswered);
    m.subrole = readStringAttribute(element, "AXSubrole", &unanswered);
    m.isModal = readBoolAttribute(element, "AXModal", &unanswered);
    m.isMinimized = readBoolAttribute(element, "AXMinimized", &unanswered);
    m.unanswered = unanswered;
    return std::pair{*id, std::move(m)};
}

AXWindowList WindowStoreRequests::readWindowEntries(const std::vector<AXElement>& elements, size_t& next,
                                                   const std::function<bool()>& stop) const {
    AXWindowList out;
    while (next < elements.size()) {
        const AXElement& element = elements[next++];
        if (auto entry = readWindowEntry(element)) {
            out.metadataByID[entry->first] = std::move(entry->second);
            out.elementsByID[entry->first] = element;
        }
        if (stop()) break;
    }
    return out;
}

std::pair<AXWindowMetadataMap, bool> WindowStoreRequests::copyAXWindowMetadataByID(int32_t pid) const {
    AXWindowList list = readWindowList(pid);
    return {std::move(list.metadataByID), list.hasList};
}

std::optional<uint32_t> WindowStoreRequests::resolveWindowID(const AXElement& element) const {
    return resolveAXWindowID(ax, axGetWindow, element);
}

std::optional<uint32_t> WindowStoreRequests::readFocusedWindowID(const AXElement& element) const {
    Value focused;
    if (readAttribute(element, "AXFocusedWindow", focused) != kAXErrorSuccess) return std::nullopt;
    auto window = focused.asElement();
    return window ? resolveWindowID(*window) : std::nullopt;
}

AXWindowMetadata WindowStoreRequests::readCreatedWindow(const AXElement& element) const {
    AXWindowMetadata m;
    m.title = readTitle(element);
    m.role = readStringAttribute(element, "AXRole");
    m.subrole = readStringAttribute(element, "AXSubrole");
    m.isModal = readBoolAttribute(element, "AXModal");
    m.isMinimized = readBoolAttribute(element, "AXMinimized");
    return m;
}

CreatedWindowRest WindowStoreRequests::readCreatedWindowRest(const AXElement& element,
                                                             const std::optional<std::string>& title) const {
    CreatedWindowRest rest;
    rest.title = title ? title : readTitle(element);
    rest.frame = readFrame(element);
    return rest;
}

std::optional<std::string> WindowStoreRequests::readTitle(const AXElement& element) const {
    return readStringAttribute(element, "AXTitle");
}

std::map<uint32_t, std::optional<std::string>> WindowStoreRequests::readTitles(
    const std::map<uint32_t, AXElement>& elements) const {
    std::map<uint32_t, std::optional<std::string>> titles;
    for (const auto& [id, element] : elements) titles[id] = readTitle(element);
    return titles;
}

std::optional<std::string> WindowStoreRequests::readStringAttribute(const AXElement& element,
                                                                    const std::string& attribute,
                                                                    bool* unanswered) const {
    Value value;
    if (!readAnswered(element, attribute, value, unanswered)) return std::nullopt;
    if (const std::string* s = value.asString()) return *s;
    return std::nullopt;
}

std::optional<bool> WindowStoreRequests::readBoolAttribute(const AXElement& element,
                                                           const std::string& attribute,
                                                           bool* unanswered) const {
    Value value;
    if (!readAnswered(element, attribute, value, unanswered)) return std::nullopt;
    if (auto b = value.asBool()) return b;
    if (auto n = value.asNumberObject()) return n->boolValue();
    return std::nullopt;
}

std::optional<Rect> WindowStoreRequests::readFrame(const AXElement& element) const {
    Value position;
    if (readAttribute(element, "AXPosition", position) != kAXErrorSuccess) return std::nullopt;
    Value size;
    if (ax.copyAttributeValue(element, "AXSize", size) != kAXErrorSuccess) return std::nullopt;
    auto p = position.asAXValue();
    auto z = size.asAXValue();
    if (!p || p->type != AXValueData::Type::Point || !z || z->type != AXValueData::Type::Size)
        return std::nullopt;
    return Rect{p->point, z->size};
}

}  // namespace qv
