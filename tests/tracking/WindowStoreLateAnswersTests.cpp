#include <gtest/gtest.h>

#include "support/StoreDesktop.h"

namespace qv {
namespace {

// Answers that come after the world moved on. The simulated applications answer from the world as
// it is when the worker reads it; each case sets the world as it was when the question was asked.
class LateAnswersTest : public testing::StoreDesktopWithDocs {
  protected:
    AXWindowEvent focusReadOf(int32_t pid) {
        AXWindowEvent e = event("AXFocusedWindowChanged", doc);
        e.element = sim.platform().accessibility.createApplication(pid);
        e.windowID.reset();
        return e;
    }
};

TEST_F(LateAnswersTest, AFocusAnswerAskedBeforeALaterDecisionIsStale) {
    int32_t other = launch("com.example.other", "Other");
    uint32_t sheet = open(other, "Sheet", s1);
    sim.activateApp(app);
    sim.raiseWindow(doc);
    simAX.faults(app).responseDelay = 0.04;
    store->handleAXEvent(focusReadOf(app));
    // Other came forward and back meanwhile; its answer decides first.
    store->handleAppActivated(other);
    rt.advance(1);
    EXPECT_EQ(store->focusedWindowID(), sheet);
}

TEST_F(LateAnswersTest, AChangeWithoutAnAnswerAppliesAfterTheAnswersAskedBeforeIt) {
    uint32_t late = open(app, "Late", s1);
    store->handleAXEvent(event("AXWindowCreated", late));
    // Destroyed while its creation is read; the window server still lists it for a moment.
    store->handleAXEvent(event("AXUIElementDestroyed", late));
    rt.advance(0.1);
    EXPECT_FALSE(tracks(late));
}

TEST_F(LateAnswersTest, ATitleChangeIsReadOnTheWorker) {
    sim.callLog.clear();
    sim.window(doc)->title = "Doc — edited";
    deliver(event("AXTitleChanged", doc));
    EXPECT_EQ(tracked(doc).windowTitle, "Doc — edited");
    const auto reads = sim.callsNamed("AXUIElementCopyAttributeValue");
    ASSERT_FALSE(reads.empty());
    for (const SimCall& c : reads) EXPECT_FALSE(c.onMainQueue);
}

TEST_F(LateAnswersTest, AnApplicationThatAnswersAgainAfterAHangIsRescanned) {
    sim.activateApp(app);
    simAX.announcing = false;
    // A window moved while it did not answer, and nobody told; then a later question is answered,
    // or a notification comes.
    for (bool answers : {true, false}) {
        simAX.setUnresponsive(app, true);
        store->handleAppActivated(app);
        rt.advance(1);
        const Rect moved{answers ? 300.0 : 400.0, 300, 800, 600};
        sim.window(doc)->frame = moved;
        simAX.setUnresponsive(app, false);
        if (answers) {
            store->handleAppActivated(app);
        } else {
            store->handleAXEvent(event("AXWindowDeminiaturized", notes));
        }
        rt.advance(0.5);
        EXPECT_EQ(tracked(doc).frame, moved);
    }
}

}  // namespace
}  // namespace qv
