#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "sim/SimEventTaps.h"
#include "support/SimDesktops.h"
#include "ui/Panel.h"

namespace qv::testing {

// One display with three application windows (one nearly transparent) and a bar panel of ours, the
// editor frontmost. Points of the helpers are in window-server space.
template <class Runtime>
class TilingDesktop : public OneDesktop<Runtime> {
  protected:
    using OneDesktop<Runtime>::rt;
    using OneDesktop<Runtime>::sim;
    using OneDesktop<Runtime>::space;

    int32_t editor = sim.launchApp(std::string("com.example.editor"), "Editor");
    int32_t viewer = sim.launchApp(std::string("com.example.viewer"), "Viewer");
    uint32_t back = sim.openWindow(editor, "Back", space, Rect{0, 0, 800, 600});
    uint32_t front = sim.openWindow(viewer, "Front", space, Rect{200, 100, 800, 600});
    uint32_t faint = sim.openWindow(viewer, "Faint", space, Rect{900, 500, 300, 200},
                                    [](SimWindowSpec& s) { s.alpha = 0.01f; });
    uint32_t side = sim.openWindow(editor, "Side", space, Rect{1000, 0, 440, 500});
    std::shared_ptr<Panel> bar = makeBar();

    std::shared_ptr<Panel> makeBar() {
        std::shared_ptr<Panel> panel;
        onMainQueue(rt, [&] {
            panel = Panel::make<Panel>(sim.platform().windowing, rt, Rect{0, 0, 1440, 36},
                                       stylemask::kNonactivatingPanel);
            panel->orderFront();
        });
        sim.activateApp(editor);
        return panel;
    }
    Point appKit(Point ws) const { return flipVertically(ws, 900); }
    void press(Point ws) { sim.mouseDown(appKit(ws)); }
    void drag(Point ws) { sim.mouseDrag(appKit(ws)); }
    void release(Point ws) { sim.mouseUp(appKit(ws)); }
    // The key events an application received with this key code.
    size_t received(int32_t pid, CGEventType type, int64_t keyCode) {
        size_t n = 0;
        for (const SimReceivedEvent& e : sim.eventTaps().receivedEvents(pid))
            n += e.type == type && e.keyCode == keyCode;
        return n;
    }
};

}  // namespace qv::testing
