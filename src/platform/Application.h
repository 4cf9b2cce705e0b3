#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Workspace.h"

namespace qv {

class Panel;

// The general pasteboard (NSPasteboard.general), for plain text.
class Pasteboard {
  public:
    virtual ~Pasteboard() = default;
    // string(forType: .string)
    virtual std::optional<std::string> string() = 0;
    // clearContents() followed by setString(_:forType: .string)
    virtual void setString(const std::string& text) = 0;
};

// Our own application object (NSApplication.shared) beyond its windows and events: the activation
// policy, the main event loop and termination, actions sent up the responder chain, and the main
// bundle.
class Application {
  public:
    virtual ~Application() = default;

    // NSApp.setActivationPolicy(_:) and its current value.
    virtual void setActivationPolicy(ActivationPolicy policy) = 0;
    virtual ActivationPolicy activationPolicy() = 0;
    // NSApp.run(): runs the main event loop until the application terminates. Where the loop is
    // driven from outside the process, it marks the application running and returns.
    virtual void run() = 0;
    // NSApp.isRunning: false before run() and after terminate.
    virtual bool isRunning() = 0;
    // NSApp.terminate(nil): posts the will-terminate notification; the program then ends.
    virtual void terminate() = 0;
    // NSApp.sendAction(_:to:nil from:): the action ("copy:") goes to the key window's first
    // responder; true when a responder handled it.
    virtual bool sendAction(const std::string& action, Panel* sender) = 0;
    // NSPasteboard.general
    virtual Pasteboard& generalPasteboard() = 0;
    // NSApp.windows: our windows that exist, whether on screen or not.
    virtual std::vector<std::shared_ptr<Panel>> windows() = 0;
    // Bundle.main.bundleIdentifier; none when the bundle has none.
    virtual std::optional<std::string> mainBundleIdentifier() = 0;
};

}  // namespace qv
