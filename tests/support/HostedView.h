#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "dispatch/ManualRuntime.h"
#include "ui/HostingView.h"

namespace qv::testing {

// A view hosted on the virtual clock and laid out at a size the test chooses.
class HostedView : public ::testing::Test {
  protected:
    ManualRuntime rt;
    std::shared_ptr<HostingView> host;

    void present(std::shared_ptr<View> view, Size size) {
        host = std::make_shared<HostingView>(rt, std::move(view));
        host->setFrameSize(size);
        host->layoutNow();
    }
    const DisplayList& list() const { return host->displayList(); }
    // A press and a release at one point.
    void click(Point p) {
        host->mouseDown(p);
        host->mouseUp(p);
    }
};

}  // namespace qv::testing
