#pragma once

#include <optional>
#include <string>

#include "platform/Application.h"

namespace qv {

class SimDesktop;

// Our application object on the simulated desktop, and the general pasteboard. The main event
// loop is the one the scenario or test drives: run() only marks the application running.
class SimAppKit : public Application, public Pasteboard {
  public:
    explicit SimAppKit(SimDesktop& sim) : sim_(sim) {}

    void setActivationPolicy(ActivationPolicy policy) override;
    ActivationPolicy activationPolicy() override;
    void run() override;
    bool isRunning() override { return running_; }
    void terminate() override;
    bool sendAction(const std::string& action, Panel* sender) override;
    Pasteboard& generalPasteboard() override { return *this; }
    std::vector<std::shared_ptr<Panel>> windows() override;
    std::optional<std::string> mainBundleIdentifier() override { return bundleIdentifier; }

    std::optional<std::string> string() override { return pasteboard_; }
    void setString(const std::string& text) override { pasteboard_ = text; }

    // The identifier in our bundle's information dictionary; none for a bundle without one.
    std::optional<std::string> bundleIdentifier = std::string("com.quillvorn.QuillVorn");
    bool hasTerminated() const { return terminated_; }
    // Our process starts afresh after it quit: the application may run again.
    void relaunch() {
        terminated_ = false;
        running_ = false;
    }

  private:
    SimDesktop& sim_;
    bool running_ = false;
    bool terminated_ = false;
    std::optional<std::string> pasteboard_;
};

}  // namespace qv
