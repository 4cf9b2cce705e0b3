#include "sim/SimCarbon.h"

#include <algorithm>

#include "sim/SimDesktop.h"
#include "sim/SimEventTaps.h"

namespace qv {

struct SimCarbon::Registration : EventHotKey {
    HotKey hotKey;
};

struct SimCarbon::Handler : EventHandler {
    std::vector<EventTypeSpec> types;
    EventHandlerProc proc;
};

namespace {

class SimHotKeyEvent : public CarbonEvent {
  public:
    explicit SimHotKeyEvent(EventHotKeyID id) : id(id) {}
    EventHotKeyID id;
};

class SimInputSource : public InputSource {};
class SimKeyLayout : public KeyLayout {};

// What the keys of a US ANSI keyboard give with no modifier held.
const std::map<uint16_t, std::u16string>& usANSICharacters() {
    static const std::map<uint16_t, std::u16string> table = {
        {0, u"a"},      {1, u"s"},      {2, u"d"},      {3, u"f"},      {4, u"h"},      {5, u"g"},
        {6, u"z"},      {7, u"x"},      {8, u"c"},      {9, u"v"},      {11, u"b"},     {12, u"q"},
        {13, u"w"},     {14, u"e"},     {15, u"r"},     {16, u"y"},     {17, u"t"},     {18, u"1"},
        {19, u"2"},     {20, u"3"},     {21, u"4"},     {22, u"6"},     {23, u"5"},     {24, u"="},
        {25, u"9"},     {26, u"7"},     {27, u"-"},     {28, u"8"},     {29, u"0"},     {30, u"]"},
        {31, u"o"},     {32, u"u"},     {33, u"["},     {34, u"i"},     {35, u"p"},     {36, u"\r"},
        {37, u"l"},     {38, u"j"},     {39, u"'"},     {40, u"k"},     {41, u";"},     {42, u"\\"},
        {43, u","},     {44, u"/"},     {45, u"n"},     {46, u"m"},     {47, u"."},     {48, u"\t"},
        {49, u" "},     {50, u"`"},     {51, u"\b"},    {53, u"\x1B"},  {65, u"."},     {67, u"*"},
        {69, u"+"},     {71, u"\x1B"},  {75, u"/"},     {76, u"\x03"},  {78, u"-"},     {81, u"="},
        {82, u"0"},     {83, u"1"},     {84, u"2"},     {85, u"3"},     {86, u"4"},     {87, u"5"},
        {88, u"6"},     {89, u"7"},     {91, u"8"},     {92, u"9"},     {96, u"\x10"},  {97, u"\x10"},
        {98, u"\x10"},  {99, u"\x10"},  {100, u"\x10"}, {101, u"\x10"}, {103, u"\x10"}, {105, u"\x10"},
        {107, u"\x10"}, {109, u"\x10"}, {111, u"\x10"}, {113, u"\x10"}, {114, u"\x05"}, {115, u"\x01"},
        {116, u"\x0B"}, {117, u"\x7F"}, {118, u"\x10"}, {119, u"\x04"}, {120, u"\x10"}, {121, u"\x0C"},
        {122, u"\x10"}, {123, u"\x1C"}, {124, u"\x1D"}, {125, u"\x1F"}, {126, u"\x1E"},
    };
    return table;
}

// The Carbon modifier bits of an event's flags.
uint32_t carbonBitsOf(CGEventFlags flags) {
    uint32_t bits = 0;
    if (flags & eventflags::kCommand) bits |= 256;
    if (flags & eventflags::kShift) bits |= 512;
    if (flags & eventflags::kAlternate) bits |= 2048;
    if (flags & eventflags::kControl) bits |= 4096;
    return bits;
}

constexpr uint32_t kCarbonModifierMask = 256 | 512 | 2048 | 4096;

}  // namespace

SimCarbon::SimCarbon(SimDesktop& sim) : sim_(sim) {}

SimCarbon::~SimCarbon() {
    *alive_ = false;
}

// --- Hot keys ---

OSStatus SimCarbon::registerEventHotKey(uint32_t keyCode, uint32_t modifiers, EventHotKeyID id, uint32_t,
                                        EventHotKeyRef& hotKey) {
    sim_.record("RegisterEventHotKey", Value::array({Value::number(keyCode), Value::number(modifiers),
                                                     Value::number(id.signature), Value::number(id.id)}));
    std::lock_guard lock(mutex_);
    bool held = std::any_of(registrations_.begin(), registrations_.end(), [&](const auto& r) {
        return r->hotKey.keyCode == keyCode && r->hotKey.modifiers == modifiers;
    });
    if (held) return kEventHotKeyExistsErr;
    auto r = std::make_shared<Registration>();
    r->hotKey = {keyCode, modifiers, id, sim_.ownPID()};
    registrations_.push_back(r);
    hotKey = r;
    return kNoErr;
}

OSStatus SimCarbon::unregisterEventHotKey(EventHotKey& hotKey) {
    sim_.record("UnregisterEventHotKey");
    std::lock_guard lock(mutex_);
    auto before = registrations_.size();
    std::erase_if(registrations_, [&](const auto& r) { return r.get() == &hotKey; });
    return registrations_.size() < before ? kNoErr : kEventHotKeyInvalidErr;
}

OSStatus SimCarbon::installApplicationEventHandler(std::vector<EventTypeSpec> types, EventHandlerProc proc,
                                                   EventHandlerRef& handler) {
    sim_.record("InstallEventHandler");
    std::lock_guard lock(mutex_);
    auto h = std::make_shared<Handler>();
    h->types = std::move(types);
    h->proc = std::move(proc);
    handlers_.push_back(h);
    handler = h;
    return kNoErr;
}

OSStatus SimCarbon::removeEventHandler(EventHandler& handler) {
    sim_.record("RemoveEventHandler");
    std::lock_guard lock(mutex_);
    auto before = handlers_.size();
    std::erase_if(handlers_, [&](const auto& h) { return h.get() == &handler; });
    return handlers_.size() < before ? kNoErr : kEventHandlerNotInstalledErr;
}

OSStatus SimCarbon::getEventHotKeyID(CarbonEvent& event, EventHotKeyID& id) {
    std::lock_guard lock(mutex_);
    auto* hotKeyEvent = dynamic_cast<SimHotKeyEvent*>(&event);
    if (!hotKeyEvent || hotKeyIDUnreadable_) return kEventParameterNotFoundErr;
    id = hotKeyEvent->id;
    return kNoErr;
}

bool SimCarbon::takeHotKey(const CGEvent& event) {
    uint32_t bits = carbonBitsOf(event.flags);
    std::optional<HotKey> hit;
    {
        std::lock_guard lock(mutex_);
        for (const auto& r : registrations_) {
            if (r->hotKey.keyCode == event.keyCode && (r->hotKey.modifiers & kCarbonModifierMask) == bits) {
                hit = r->hotKey;
                break;
            }
        }
    }
    if (!hit) return false;
    // A held hot key fires once: its auto-repeated key-downs are taken, and report nothing.
    if (event.autorepeat) return true;
    if (hit->ownerPID != sim_.ownPID()) {
        sim_.record("hotKey.deliveredTo", Value::number(hit->ownerPID));
        return true;
    }
    sim_.record("hotKey.pressed", Value::array({Value::number(hit->keyCode), Value::number(hit->modifiers)}));
    std::weak_ptr<bool> alive = alive_;
    EventHotKeyID id = hit->id;
    sim_.runtime().mainQueue()->async([this, alive, id] {
        if (!alive.expired()) callHandlers(id);
    });
    return true;
}

void SimCarbon::callHandlers(EventHotKeyID id) {
    std::vector<std::shared_ptr<Handler>> handlers;
    {
        std::lock_guard lock(mutex_);
        handlers = handlers_;
    }
    // The most recently installed handler runs first; one that does not handle the event passes it on.
    SimHotKeyEvent event(id);
    for (auto it = handlers.rbegin(); it != handlers.rend(); ++it) {
        bool wants = std::any_of((*it)->types.begin(), (*it)->types.end(), [](const EventTypeSpec& t) {
            return t.eventClass == kEventClassKeyboard && t.eventKind == kEventHotKeyPressed;
        });
        if (wants && (*it)->proc(event) != kEventNotHandledErr) return;
    }
}

void SimCarbon::holdHotKey(int32_t pid, uint32_t keyCode, uint32_t modifiers) {
    std::lock_guard lock(mutex_);
    auto r = std::make_shared<Registration>();
    r->hotKey = {keyCode, modifiers, EventHotKeyID{}, pid};
    registrations_.push_back(r);
}

void SimCarbon::setHotKeyIDUnreadable(bool unreadable) {
    std::lock_guard lock(mutex_);
    hotKeyIDUnreadable_ = unreadable;
}

std::vector<SimCarbon::HotKey> SimCarbon::hotKeys() const {
    std::lock_guard lock(mutex_);
    std::vector<HotKey> out;
    for (const auto& r : registrations_) out.push_back(r->hotKey);
    return out;
}

std::vector<SimCarbon::HotKey> SimCarbon::ourHotKeys() const {
    auto all = hotKeys();
    std::erase_if(all, [&](const HotKey& h) { return h.ownerPID != sim_.ownPID(); });
    return all;
}

size_t SimCarbon::installedHandlerCount() const {
    std::lock_guard lock(mutex_);
    return handlers_.size();
}

// --- Keyboard layout ---

InputSourceRef SimCarbon::copyCurrentKeyboardLayoutInputSource() {
    std::lock_guard lock(mutex_);
    if (layoutAbsent_) return nullptr;
    return std::make_shared<SimInputSource>();
}

KeyLayoutRef SimCarbon::unicodeKeyLayoutData(const InputSource&) {
    std::lock_guard lock(mutex_);
    if (layoutDataAbsent_) return nullptr;
    return std::make_shared<SimKeyLayout>();
}

uint32_t SimCarbon::keyboardType() {
    return 40;  // an ANSI keyboard
}

OSStatus SimCarbon::keyTranslate(const KeyLayout&, uint16_t keyCode, uint16_t, uint32_t, uint32_t, uint32_t,
                                 uint32_t&, size_t maxLength, std::u16string& text) {
    std::lock_guard lock(mutex_);
    if (auto s = statuses_.find(keyCode); s != statuses_.end()) return s->second;
    text.clear();
    if (auto c = characters_.find(keyCode); c != characters_.end()) {
        text = c->second;
    } else if (auto u = usANSICharacters().find(keyCode); u != usANSICharacters().end()) {
        text = u->second;
    }
    if (text.size() > maxLength) text.resize(maxLength);
    return kNoErr;
}

void SimCarbon::setKeyboardLayoutAbsent(bool absent) {
    std::lock_guard lock(mutex_);
    layoutAbsent_ = absent;
}

void SimCarbon::setKeyLayoutDataAbsent(bool absent) {
    std::lock_guard lock(mutex_);
    layoutDataAbsent_ = absent;
}

void SimCarbon::setKeyCharacters(uint16_t keyCode, std::u16string characters) {
    std::lock_guard lock(mutex_);
    characters_[keyCode] = std::move(characters);
}

void SimCarbon::setKeyTranslateStatus(uint16_t keyCode, OSStatus status) {
    std::lock_guard lock(mutex_);
    statuses_[keyCode] = status;
}

}  // namespace qv
