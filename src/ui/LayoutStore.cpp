// What a hosting view keeps of its layouts: the view state of its nodes and its scroll controllers.
#include "ui/LayoutStore.h"

namespace qv {

ViewStates::Entry& ViewStates::live(const std::string& path, const std::function<std::any()>& initial,
                                    uint64_t layout) {
    Entry& e = entry(path, initial);
    e.layout = layout;
    return e;
}

ViewStates::Entry& ViewStates::entry(const std::string& path, const std::function<std::any()>& initial) {
    auto it = entries_.find(path);
    if (it == entries_.end()) it = entries_.emplace(path, Entry{initial ? initial() : std::any()}).first;
    return it->second;
}

std::map<std::string, ViewStates::Entry> ViewStates::collect(uint64_t layout) {
    std::map<std::string, Entry> gone;
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->second.layout == layout) {
            ++it;
        } else {
            gone.insert(entries_.extract(it++));
        }
    }
    return gone;
}

std::shared_ptr<ScrollController> scrollerFor(Scrollers& scrollers, const std::string& path) {
    auto& s = scrollers[path];
    if (!s) s = std::make_shared<ScrollController>();
    return s;
}

}  // namespace qv
