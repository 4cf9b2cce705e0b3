#include <gtest/gtest.h>

#include "tracking/WindowAdmission.h"

namespace qv {
namespace {

using Case = CGWindowAXAdmission::Case;

AXWindowMetadata standard() {
    return AXWindowMetadata{"Doc", "AXWindow", "AXStandardWindow", false, false};
}

Case admit(const AXWindowMetadata& m) {
    return cgWindowAXAdmission(7, {{7, m}}, true).kind;
}

TEST(WindowAdmissionTest, TheListDecidesOnlyWhenItWasRead) {
    AXWindowMetadata dialog = standard();
    dialog.subrole = "AXDialog";
    EXPECT_EQ(cgWindowAXAdmission(7, {{7, dialog}}, false).kind, Case::admitted);
    EXPECT_EQ(cgWindowAXAdmission(7, {}, false).kind, Case::admitted);
    EXPECT_EQ(cgWindowAXAdmission(7, {}, true).kind, Case::missing);
    EXPECT_EQ(cgWindowAXAdmission(8, {{7, standard()}}, true).kind, Case::missing);
    EXPECT_EQ(admit(standard()), Case::admitted);
    EXPECT_EQ(admit(dialog), Case::rejected);
}

TEST(WindowAdmissionTest, StandardWindowRules) {
    AXWindowMetadata m = standard();
    m.subrole = std::nullopt;
    EXPECT_EQ(admit(m), Case::admitted);  // no subrole

    m = standard();
    m.subrole = "AXFloatingWindow";
    EXPECT_EQ(admit(m), Case::rejected);
    m.isMinimized = true;
    EXPECT_EQ(admit(m), Case::admitted);  // minimised: whatever the subrole

    m = standard();
    m.isModal = true;
    m.isMinimized = true;
    EXPECT_EQ(admit(m), Case::rejected);  // modal: even when minimised

    m = standard();
    m.role = std::nullopt;
    EXPECT_EQ(admit(m), Case::rejected);
    m.role = "AXSheet";
    EXPECT_EQ(admit(m), Case::rejected);

    // Absent flags are not held against the window.
    EXPECT_EQ(
        admit(AXWindowMetadata{std::nullopt, "AXWindow", "AXStandardWindow", std::nullopt, std::nullopt}),
        Case::admitted);
}

TEST(WindowAdmissionTest, TheCreatedWindowTestIsLenientAboutAMissingRole) {
    AXWindowMetadata m = standard();
    EXPECT_FALSE(isClearlyIneligibleAXWindow(m));
    m.role = std::nullopt;
    EXPECT_FALSE(isClearlyIneligibleAXWindow(m));
    EXPECT_FALSE(isDockEligibleAXWindow(m));
    m.subrole = std::nullopt;
    EXPECT_FALSE(isClearlyIneligibleAXWindow(m));
    m.role = "AXSheet";
    EXPECT_TRUE(isClearlyIneligibleAXWindow(m));

    m = standard();
    m.isModal = true;
    EXPECT_TRUE(isClearlyIneligibleAXWindow(m));
    m = standard();
    m.subrole = "AXFloatingWindow";
    EXPECT_TRUE(isClearlyIneligibleAXWindow(m));
    m.isMinimized = true;
    EXPECT_FALSE(isClearlyIneligibleAXWindow(m));
}

}  // namespace
}  // namespace qv
