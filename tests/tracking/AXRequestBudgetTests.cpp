#include <gtest/gtest.h>

#include "platform/sim/SimAccessibility.h"
#include "support/SimDesktops.h"
#include "tracking/AXRequestBudget.h"

namespace qv {
namespace {

class AXRequestBudgetTest : public testing::WideAppDesktop<> {};

TEST_F(AXRequestBudgetTest, EachRequestWaitsAtMostAQuarterSecondAndTheActionHalfASecondInAll) {
    Accessibility& ax = sim.platform().accessibility;
    sim.openWindow(app, "Doc", space);
    const AXElement element = ax.createApplication(app);
    AXRequestBudget budget(ax, rt);
    Value value;
    // A slow answer within the time-out is read, and spends what it took.
    sim.accessibility().faults(app).responseDelay = 0.1;
    EXPECT_EQ(budget.copyAttributeValue(element, "AXWindows", value), kAXErrorSuccess);
    EXPECT_NEAR(budget.left(), 0.4, 1e-6);
    // Hung: 0.25 s, then the 0.15 s left; a spent budget sends nothing and fails at once.
    sim.accessibility().faults(app).unresponsive = true;
    const Seconds before = rt.now();
    EXPECT_EQ(budget.copyAttributeValue(element, "AXWindows", value), kAXErrorCannotComplete);
    EXPECT_NEAR(rt.now() - before, 0.25, 1e-6);
    EXPECT_EQ(budget.performAction(element, "AXRaise"), kAXErrorCannotComplete);
    EXPECT_NEAR(rt.now() - before, 0.4, 1e-6);
    EXPECT_EQ(budget.setAttributeValue(element, "AXFrontmost", Value::boolean(true)), kAXErrorCannotComplete);
    EXPECT_NEAR(rt.now() - before, 0.4, 1e-6);
    EXPECT_TRUE(sim.callsNamed("AXUIElementSetAttributeValue").empty());
}

}  // namespace
}  // namespace qv
