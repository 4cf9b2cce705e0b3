#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Accessibility.h"
#include "platform/Geometry.h"
#include "tracking/AXWindowID.h"
#include "tracking/AXWindowMetadata.h"

namespace qv {

// What a created window is asked after it said what it is: its title when it gave none, and its frame.
struct CreatedWindowRest {
    std::optional<std::string> title;
    std::optional<Rect> frame;
};

// How many reads of one request the application answered and how many it left unanswered (timed
// out, could not complete): whether it is hung, as far as the store can tell.
struct Hearing {
    int answered = 0;
    int unanswered = 0;
};

// An application's window list before its windows are read: a rescan reads each window in a
// request of its own, so that the user's requests are taken between them.
struct AXWindowElements {
    std::vector<AXElement> elements;
    bool hasList = false;
};

// What the window store asks of one application: each function makes its requests in order, every
// one with the store's messaging time-out, and returns a value record of the answers. They run on
// the application's worker, never touch the store's model, and hold only the Accessibility
// service, which outlives every worker.
struct WindowStoreRequests {
    Accessibility& ax;
    AXGetWindowFunction axGetWindow;
    float timeout = 0;
    // Counts the reads of the one request running with it, when set.
    Hearing* heard = nullptr;

    // The application's "AXWindows" with each window's id and metadata.
    AXWindowList readWindowList(int32_t pid) const;
    // The list alone, then what one of its windows says: its id and metadata (none without an id).
    AXWindowElements readWindowElements(int32_t pid) const;
    std::optional<std::pair<uint32_t, AXWindowMetadata>> readWindowEntry(const AXElement& element) const;
    // The entries of `elements` from `next` on, one after the other, until `stop` holds after one;
    // `next` ends at the first not read.
    AXWindowList readWindowEntries(const std::vector<AXElement>& elements, size_t& next,
                                   const std::function<bool()>& stop) const;
    // The same as a map and whether a list was read at all.
    std::pair<AXWindowMetadataMap, bool> copyAXWindowMetadataByID(int32_t pid) const;
    // The window-server id of an element; sets no time-out of its own.
    std::optional<uint32_t> resolveWindowID(const AXElement& element) const;
    // The id of the focused window of an application (or of the element it names).
    std::optional<uint32_t> readFocusedWindowID(const AXElement& element) const;
    // What a window that was just created says about itself: title, role, subrole, modal, minimised.
    AXWindowMetadata readCreatedWindow(const AXElement& element) const;
    // The title again when `title` is none, then the frame.
    CreatedWindowRest readCreatedWindowRest(const AXElement& element,
                                            const std::optional<std::string>& title) const;
    std::optional<std::string> readTitle(const AXElement& element) const;
    // The titles of several windows, read one after the other.
    std::map<uint32_t, std::optional<std::string>> readTitles(
        const std::map<uint32_t, AXElement>& elements) const;
    // `unanswered` is set when the read got no answer, as opposed to finding no value.
    std::optional<std::string> readStringAttribute(const AXElement& element, const std::string& attribute,
                                                   bool* unanswered = nullptr) const;
    std::optional<bool> readBoolAttribute(const AXElement& element, const std::string& attribute,
                                          bool* unanswered = nullptr) const;
    // "AXPosition", then "AXSize" only when the position could be read.
    std::optional<Rect> readFrame(const AXElement& element) const;
    // Sets the time-out on the element and reads the attribute.
    AXError readAttribute(const AXElement& element, const std::string& attribute, Value& value) const;
    // The same, true when it was read; marks `unanswered` when the read got no answer.
    bool readAnswered(const AXElement& element, const std::string& attribute, Value& value,
                      bool* unanswered) const;
};

}  // namespace qv
