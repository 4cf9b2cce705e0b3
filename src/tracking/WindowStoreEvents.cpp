// The window store's live updates: Accessibility events, window creation, focus and the
// activation candidates of a Space.
#include <algorithm>

#include "tracking/ListedWindow.h"
#include "tracking/WindowAdmission.h"
#include "tracking/WindowStore.h"

namespace qv {

namespace {

constexpr uint32_t kSpaceListingOptions = 2;
constexpr uint64_t kSpaceListingClearTags = 0x4000000000ull;

// The index of the first screen that a window-server rectangle overlaps. Screens measure from the
// bottom-left corner, so the rectangle is flipped first; without that, displays stacked above or
// below the primary one are mistaken for one another.
std::optional<size_t> screenIndexOf(const Rect& windowServerFrame, const std::vector<Screen>& screens,
                                    double primaryScreenMaxY) {
    const Rect frame = flipVertically(windowServerFrame, primaryScreenMaxY);
    for (size_t i = 0; i < screens.size(); ++i) {
        if (screens[i].frame.intersects(frame)) return i;
    }
    return std::nullopt;
}

}  // namespace

// --- Accessibility events ---

void WindowStore::handleAXEvent(const AXWindowEvent& event) {
    const std::string& name = event.notification;
    const std::optional<uint32_t> id = event.windowID;
    auto publish = [](WindowStore& self) {
        if (self.onChange) self.onChange();
    };
    // Its notifications resume: what it did while it did not answer went unannounced.
    if (unansweredPIDs_.erase(event.pid)) scheduleDeferredScan(event.pid);
    if (id && event.element.isValid() && !event.element.isApplication()) elementsByWindowID_[*id] = event.element;
    // The rows that read the window ask its application; the others apply at once, or after the
    // application's answers still due.
    if (name == "AXWindowCreated") {
        handleWindowCreated(event, publish);
    } else if (name == "AXUIElementDestroyed") {
        inOrder(event.pid, [id, publish](WindowStore& self) {
            if (id) self.forgetWindow(*id);
            publish(self);
        });
    } else if (name == "AXTitleChanged") {
        if (!id) {
            inOrder(event.pid, [pid = event.pid, publish](WindowStore& self) {
                self.scheduleDeferredScan(pid);
                publish(self);
            });
            return;
        }
        ask(
            event.pid,
            [element = event.element](const WindowStoreRequests& reads) { return reads.readTitle(element); },
            [id, pid = event.pid, asked = markNow(), publish](WindowStore& self,
                                                              std::optional<std::string> title) {
                if (title) {
                    if (auto it = self.windows_.find(*id);
                        it != self.windows_.end() && self.takesTitle(*id, asked))
                        it->second.windowTitle = *title;
                } else {
                    self.scheduleDeferredScan(pid);
                }
                publish(self);
            });
    } else if (name == "AXWindowResized" || name == "AXWindowMoved") {
        if (!id) {
            inOrder(event.pid, publish);
            return;
        }
        ask(
            event.pid,
            [element = event.element](const WindowStoreRequests& reads) { return reads.readFrame(element); },
            [id, moved = name == "AXWindowMoved", publish](WindowStore& self, std::optional<Rect> frame) {
                if (frame && moved) {
                    self.handleWindowMoved(*id, *frame);
                } else if (frame) {
                    if (auto it = self.windows_.find(*id); it != self.windows_.end())
                        it->second.frame = *frame;
                }
                publish(self);
            });
    } else if (name == "AXWindowMiniaturized") {
        inOrder(event.pid, [id, publish](WindowStore& self) {
            if (id) {
                if (auto it = self.windows_.find(*id); it != self.windows_.end())
                    it->second.isMinimized = true;
                if (self.focusedWindowID_ == *id) {
                    self.focusedWindowID_.reset();
                    ++self.focusDecisions_;
                }
            }
            publish(self);
        });
    } else if (name == "AXWindowDeminiaturized") {
        inOrder(event.pid, [id, publish](WindowStore& self) {
            if (id) {
                if (auto it = self.windows_.find(*id); it != self.windows_.end())
                    it->second.isMinimized = false;
            }
            publish(self);
        });
    } else if (name == "AXFocusedWindowChanged") {
        handleFocusedWindowChanged(event);  // publishes by itself, and only for the frontmost process
    }
}

void WindowStore::handleWindowMoved(uint32_t windowID, const Rect& frame) {
    const auto screens = platform_.displays.screens();
    const double maxY = spaces_.primaryScreenMaxY(screens);
    std::optional<size_t> oldScreen;
    auto it = windows_.find(windowID);
    if (it != windows_.end()) {
        oldScreen = screenIndexOf(it->second.frame, screens, maxY);
        it->second.frame = frame;
    }
    std::optional<size_t> newScreen = screenIndexOf(frame, screens, maxY);
    if (oldScreen != newScreen) scheduleCrossScreenSpacesRefresh();
}

void WindowStore::handleFocusedWindowChanged(const AXWindowEvent& event) {
    const int32_t pid = event.pid;
    auto isFrontmost = [pid](WindowStore& self) {
        auto front = self.platform_.workspace.frontmostApplication();
        return front && front->processIdentifier == pid;
    };
    if (event.windowID) {
        inOrder(pid, [isFrontmost, id = *event.windowID](WindowStore& self) {
            ++self.debugEventSequence_;
            if (!isFrontmost(self)) return;
            self.focusedWindowID_ = id;
            ++self.focusDecisions_;
            if (self.onChange) self.onChange();
        });
        return;
    }
    ++debugEventSequence_;
    if (!isFrontmost(*this)) return;
    const uint64_t decision = ++focusDecisions_;
    ask(
        pid,
        [element = event.element](const WindowStoreRequests& reads) {
            return reads.readFocusedWindowID(element);
        },
        [pid, decision, isFrontmost](WindowStore& self, std::optional<uint32_t> resolved) {
            // Another application came forward, or the focus was decided again, while this one
            // answered: the later decision stands.
            if (decision != self.focusDecisions_ || !isFrontmost(self)) return;
            if (resolved) {
                self.focusedWindowID_ = *resolved;
            } else {
                self.clearFocusOfOtherProcess(pid);
            }
            if (self.onChange) self.onChange();
        });
}

bool WindowStore::clearFocusOfOtherProcess(int32_t pid) {
    // The process's own focus is unknown; a focus that belongs to another process is certainly
    // stale. An untracked focus stays, since its owner cannot be known.
    if (!focusedWindowID_) return false;
    auto it = windows_.find(*focusedWindowID_);
    if (it == windows_.end() || it->second.pid == pid) return false;
    focusedWindowID_.reset();
    return true;
}

void WindowStore::handleWindowCreated(const AXWindowEvent& event, Then done) {
    const int32_t pid = event.pid;
    ensureLifecycleMonitoringForWindowActivity(pid);
    if (event.windowID) {
        admitCreatedWindow(event, *event.windowID, std::move(done));
        return;
    }
    ask(
        pid,
        [element = event.element](const WindowStoreRequests& reads) {
            return reads.resolveWindowID(element);
        },
        [event, done = std::move(done)](WindowStore& self, std::optional<uint32_t> id) {
            if (id) {
                self.admitCreatedWindow(event, *id, done);
                return;
            }
            self.scheduleDeferredScan(event.pid);
            done(self);
        });
}

std::optional<CGWindowInfo> WindowStore::createdWindowEntry(uint32_t windowID) {
    const auto eligible = dockEligibleOwnerPIDs(platform_.workspace);
    auto info = cgWindowInfo(windowID);
    if (!info || !listedWindow(windowID, *info, eligible, kFirstLookListTests)) return std::nullopt;
    return info;
}

void WindowStore::admitCreatedWindow(const AXWindowEvent& event, uint32_t id, Then done) {
    const int32_t pid = event.pid;
    if (auto it = windows_.find(id); it != windows_.end()) {
        reconcileStateByWindowID_[id] = ReconcileState::active();
        const WindowSpacesMap map = buildWindowSpacesMap(platform_.windowServer.mainConnectionID());
        if (auto s = map.find(id); s != map.end() && !s->second.empty() && s->second != it->second.spaceIDs)
            it->second.spaceIDs = s->second;
        done(*this);
        return;
    }

    // The window is asked what it says about itself and, when that does not rule it out and the
    // window server's entry (read now, and again when the answer is in) lets it in, its title when
    // it gave none and its frame: one visit to the application's worker.
    const bool listedNow = createdWindowEntry(id).has_value();
    struct Answer {
        AXWindowMetadata metadata;
        std::optional<CreatedWindowRest> rest;
    };
    ask(
        pid,
        [element = event.element, listedNow](const WindowStoreRequests& reads) {
            Answer answer{reads.readCreatedWindow(element), std::nullopt};
            if (listedNow && !isClearlyIneligibleAXWindow(answer.metadata))
                answer.rest = reads.readCreatedWindowRest(element, answer.metadata.title);
            return answer;
        },
        [event, id, asked = markNow(), done](WindowStore& self, Answer answer) {
            const int32_t pid = event.pid;
            if (isClearlyIneligibleAXWindow(answer.metadata)) {
                self.scheduleDeferredScan(pid);
                done(self);
                return;
            }
            const auto info = self.createdWindowEntry(id);
            if (!info) {
                self.scheduleDeferredScan(pid);
                done(self);
                return;
            }
            if (*info->ownerPID() != pid) {
                // The event's pid could not be read (0) or names another process: the window
                // server's owner is the one to trust, and its scan admits the window under it.
                self.scheduleDeferredScan(*info->ownerPID());
                done(self);
                return;
            }
            if (answer.rest) {
                self.addCreatedWindow(pid, id, *info, answer.metadata, *answer.rest, asked);
                done(self);
                return;
            }
            // Listed by the window server only since the question was asked: the rest is asked now.
            self.ask(
                pid,
                [element = event.element, title = answer.metadata.title](const WindowStoreRequests& reads) {
                    return reads.readCreatedWindowRest(element, title);
                },
                [pid, id, info = *info, metadata = answer.metadata, asked = self.markNow(), done](
                    WindowStore& self, CreatedWindowRest rest) {
                    self.addCreatedWindow(pid, id, info, metadata, rest, asked);
                    done(self);
                });
        });
}

void WindowStore::addCreatedWindow(int32_t pid, uint32_t id, const CGWindowInfo& info,
                                   const AXWindowMetadata& metadata, const CreatedWindowRest& rest,
                                   uint64_t asked) {
    TrackedWindow w =
        trackedWindowOf({id, pid, *info.bounds()}, info, platform_.workspace.runningApplication(pid),
                        AppNameFallback::runningApplication);
    if (rest.title) w.windowTitle = *rest.title;
    if (rest.frame) w.frame = *rest.frame;
    w.isMinimized = metadata.isMinimized == true;
    const WindowSpacesMap map = buildWindowSpacesMap(platform_.windowServer.mainConnectionID());
    if (auto s = map.find(id); s != map.end()) w.spaceIDs = s->second;
    if (w.spaceIDs.empty()) {
        scheduleDeferredScan(pid);
        return;
    }
    windows_[id] = std::move(w);
    reconcileStateByWindowID_[id] = ReconcileState::active();
    titleAsOf_[id] = asked;
}

void WindowStore::scheduleCrossScreenSpacesRefresh() {
    if (pendingCrossScreenRefresh_) pendingCrossScreenRefresh_->cancel();
    std::weak_ptr<WindowStore> weak = weak_from_this();
    pendingCrossScreenRefresh_ = platform_.runtime.mainQueue()->asyncAfter(kCrossScreenRefreshDelay, [weak] {
        if (auto self = weak.lock()) self->refreshSpaces();
    });
}

void WindowStore::forgetWindow(uint32_t windowID) {
    windows_.erase(windowID);
    reconcileStateByWindowID_.erase(windowID);
    titleAsOf_.erase(windowID);
    elementsByWindowID_.erase(windowID);
    // A focus naming a window that is gone would mark no chip, or the wrong one after id reuse.
    if (focusedWindowID_ == windowID) focusedWindowID_.reset();
}

void WindowStore::rememberElements(int32_t pid, const AXWindowList& list) {
    std::erase_if(elementsByWindowID_, [&](const auto& entry) {
        return entry.second.ownerPID() == pid && !windows_.contains(entry.first);
    });
    for (const auto& [id, element] : list.elementsByID) elementsByWindowID_[id] = element;
}

std::optional<AXElement> WindowStore::elementOf(uint32_t windowID) const {
    auto it = elementsByWindowID_.find(windowID);
    if (it == elementsByWindowID_.end() || !windows_.contains(windowID)) return std::nullopt;
    return it->second;
}

void WindowStore::removeWindows(int32_t pid) {
    cancelLifecycleMonitoring(pid);
    pendingScans_.erase(pid);
    deferredScanSeriesByPID_.erase(pid);
    // What was asked of the process before it ended no longer applies.
    ++endsByPID_[pid];
    unansweredPIDs_.erase(pid);
    std::vector<uint32_t> ids;
    for (const auto& [id, w] : windows_) {
        if (w.pid == pid) ids.push_back(id);
    }
    if (ids.empty()) return;
    for (uint32_t id : ids) forgetWindow(id);
    if (onChange) onChange();
}

// --- Focus ---

void WindowStore::handleAppActivated(int32_t pid) {
    askFocusedWindow(pid, [](WindowStore&) {});
}

void WindowStore::askFocusedWindow(int32_t pid, Then then) {
    ++debugEventSequence_;
    const uint64_t decision = ++focusDecisions_;
    askEach<std::optional<uint32_t>>(
        {pid},
        [](int32_t pid) {
            return [pid](const WindowStoreRequests& reads) {
                return reads.readFocusedWindowID(reads.ax.createApplication(pid));
            };
        },
        [pid, decision, then = std::move(then)](WindowStore& self,
                                                std::map<int32_t, std::optional<uint32_t>> answers) {
            auto answer = answers.find(pid);
            // An activation or focus change after this one decides; a process that ended tells nothing.
            if (answer != answers.end() && decision == self.focusDecisions_) {
                if (const std::optional<uint32_t>& id = answer->second) {
                    self.focusedWindowID_ = *id;
                    if (self.onChange) self.onChange();
                } else if (self.clearFocusOfOtherProcess(pid) && self.onChange) {
                    self.onChange();
                }
            }
            then(self);
        });
}

std::vector<TrackedWindow> WindowStore::windowsOn(uint64_t spaceID) const {
    std::vector<TrackedWindow> out;
    for (const auto& [id, window] : windows_) {  // the map keeps ascending ids
        if (window.spaceIDs.contains(spaceID)) out.push_back(window);
    }
    return out;
}

std::optional<TrackedWindow> bestActivationCandidate(const std::vector<TrackedWindow>& candidates) {
    if (candidates.empty()) return std::nullopt;
    const TrackedWindow* best = &candidates.front();
    for (size_t i = 1; i < candidates.size(); ++i) {
        const TrackedWindow& w = candidates[i];
        const double area = w.frame.area(), bestArea = best->frame.area();
        // Comparisons with a NaN area are false, so such a window neither wins nor is beaten.
        if (area > bestArea || (area == bestArea && best->windowTitle.empty() && !w.windowTitle.empty()))
            best = &w;
    }
    return *best;
}

// One call of trackSoleWindow: the Space's listing, in the window server's order, and what the
// answers about the windows the store lacks decided.
struct WindowStore::SoleWindowPass {
    struct Listed {
        uint32_t windowID = 0;
        // Windows the store lacks that pass the window-list tests: their entry and what it told.
        std::optional<CGWindowInfo> info;
        ListedWindow entry;
    };
    uint64_t spaceID = 0;
    uint32_t connectionID = 0;
    std::vector<Listed> listed;
    std::map<uint32_t, TrackedWindow> admitted;
    std::set<int32_t> pidsToScan;
    bool changed = false;
    std::function<void(std::optional<uint32_t>)> chosen;
};

void WindowStore::trackSoleWindow(uint64_t spaceID, std::function<void(std::optional<uint32_t>)> chosen) {
    startSoleWindow(spaceID, std::move(chosen));
}

std::shared_ptr<WindowStore::SoleWindowPass> WindowStore::startSoleWindow(
    uint64_t spaceID, std::function<void(std::optional<uint32_t>)> chosen) {
    auto pass = std::make_shared<SoleWindowPass>();
    pass->spaceID = spaceID;
    pass->chosen = std::move(chosen);
    WindowServer& ws = platform_.windowServer;
    pass->connectionID = ws.mainConnectionID();
    uint64_t setTags = 0;
    uint64_t clearTags = kSpaceListingClearTags;
    auto listing = ws.copyWindowsWithOptionsAndTags(pass->connectionID, 0, numberArray(std::vector{spaceID}),
                                                    kSpaceListingOptions, &setTags, &clearTags);
    std::vector<uint32_t> listedIDs;
    if (const Value::Array* ids = listing ? listing->asArray() : nullptr) {
        for (const Value& v : *ids) {
            if (auto n = v.asNumberObject()) listedIDs.push_back(n->uint32Value());
        }
    }
    const auto eligible = dockEligibleOwnerPIDs(platform_.workspace);

    // Tracked windows cost no platform call; the others are tested on their window-list entry, and
    // their applications asked for their lists.
    std::set<int32_t> pids;
    for (uint32_t id : uniquePreservingOrder(listedIDs)) {
        if (auto it = windows_.find(id); it != windows_.end()) {
            if (it->second.spaceIDs.insert(spaceID).second) pass->changed = true;
            pass->listed.push_back({id, std::nullopt, {}});
            continue;
        }
        auto info = cgWindowInfo(id);
        if (!info) continue;
        auto entry = listedWindow(id, *info, eligible, kSoleWindowListTests);
        if (!entry) continue;
        pass->listed.push_back({id, std::move(info), *entry});
        pids.insert(entry->pid);
    }

    auto admit = [pass](WindowStore& self, std::map<int32_t, AXWindowList> lists) {
        TitleReads titleReads;
        for (const SoleWindowPass::Listed& listed : pass->listed) {
            if (!listed.info) continue;
            const uint32_t id = listed.windowID;
            const int32_t pid = listed.entry.pid;
            auto axList = lists.find(pid);
            if (axList == lists.end()) continue;  // the process ended meanwhile
            const auto admission =
                cgWindowAXAdmission(id, axList->second.metadataByID, axList->second.hasList);
            if (admission.kind == CGWindowAXAdmission::Case::rejected) continue;
            if (admission.kind != CGWindowAXAdmission::Case::admitted) {
                pass->pidsToScan.insert(pid);
                continue;
            }
            TrackedWindow w =
                trackedWindowOf(listed.entry, *listed.info, self.platform_.workspace.runningApplication(pid),
                                AppNameFallback::runningApplication);
            if (auto element = describeFromList(w, axList->second, ListedTitle::taken))
                titleReads[pid][id] = *element;
            pass->admitted[id] = std::move(w);
        }
        self.readTitles(std::move(titleReads), [pass](WindowStore& self, Titles titles) {
            for (auto& [pid, byID] : titles) {
                for (auto& [id, title] : byID) {
                    if (auto it = pass->admitted.find(id); title && it != pass->admitted.end())
                        it->second.windowTitle = *title;
                }
            }
            self.finishSoleWindow(pass);
        });
    };
    askEach<AXWindowList>(
        pids,
        [](int32_t pid) {
            return [pid](const WindowStoreRequests& reads) { return reads.readWindowList(pid); };
        },
        admit);
    return pass;
}

void WindowStore::finishSoleWindow(const std::shared_ptr<SoleWindowPass>& pass) {
    const uint64_t spaceID = pass->spaceID;
    std::vector<TrackedWindow> collected;
    bool changed = pass->changed;
    for (const SoleWindowPass::Listed& listed : pass->listed) {
        const uint32_t id = listed.windowID;
        if (!listed.info) {
            auto it = windows_.find(id);
            if (it == windows_.end()) continue;  // gone meanwhile
            if (it->second.spaceIDs.insert(spaceID).second) changed = true;
            collected.push_back(it->second);
            continue;
        }
        auto admitted = pass->admitted.find(id);
        if (admitted == pass->admitted.end()) continue;
        TrackedWindow& w = admitted->second;
        // The window may have closed, or been admitted otherwise, while its application answered:
        // only a window the window server still lists is admitted, from its entry as it is now.
        if (auto tracked = windows_.find(id); tracked != windows_.end()) {
            collected.push_back(tracked->second);
            continue;
        }
        auto info = cgWindowInfo(id);
        if (!info || !info->bounds()) continue;
        w.frame = *info->bounds();
        if (auto s = querySpaces({id}, pass->connectionID); s.contains(id)) w.spaceIDs = std::move(s[id]);
        w.spaceIDs.insert(spaceID);
        windows_[id] = w;
        reconcileStateByWindowID_[id] = ReconcileState::active();
        collected.push_back(std::move(w));
        changed = true;
    }
    if (changed && onChange) onChange();
    for (int32_t pid : pass->pidsToScan) scheduleDeferredScan(pid);
    if (pass->chosen) pass->chosen(chooseSoleWindow(collected, spaceID));
}

std::optional<uint32_t> WindowStore::chooseSoleWindow(const std::vector<TrackedWindow>& collected,
                                                      uint64_t spaceID) const {
    if (!collected.empty()) {
        std::vector<TrackedWindow> candidates;
        std::copy_if(collected.begin(), collected.end(), std::back_inserter(candidates),
                     [](const TrackedWindow& w) { return !w.isMinimized; });
        if (candidates.empty()) candidates = collected;
        if (candidates.size() == 1) return candidates.front().windowID;
        if (focusedWindowID_ &&
            std::any_of(candidates.begin(), candidates.end(),
                        [&](const TrackedWindow& w) { return w.windowID == *focusedWindowID_; })) {
            return focusedWindowID_;
        }
        return bestActivationCandidate(candidates)->windowID;
    }
    std::vector<TrackedWindow> onSpace = windowsOn(spaceID);
    std::erase_if(onSpace, [](const TrackedWindow& w) { return w.isMinimized; });
    if (auto best = bestActivationCandidate(onSpace)) return best->windowID;
    return std::nullopt;
}

std::optional<uint32_t> WindowStore::trackSoleWindow(uint64_t spaceID) {
    auto chosen = std::make_shared<std::optional<std::optional<uint32_t>>>();
    auto pass = startSoleWindow(spaceID, [chosen](std::optional<uint32_t> id) { *chosen = id; });
    if (*chosen) return **chosen;
    // Answers are due: the listed windows that passed the window-list tests stand in for what
    // their applications will say of them, as windows that are not minimised.
    std::vector<TrackedWindow> collected;
    for (const SoleWindowPass::Listed& listed : pass->listed) {
        if (!listed.info) {
            if (auto it = windows_.find(listed.windowID); it != windows_.end())
                collected.push_back(it->second);
            continue;
        }
        // Only the id, frame, title and minimised flag decide: no application is looked up.
        collected.push_back(
            trackedWindowOf(listed.entry, *listed.info, std::nullopt, AppNameFallback::unknown));
    }
    return chooseSoleWindow(collected, spaceID);
}

}  // namespace qv
