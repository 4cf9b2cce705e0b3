#pragma once

#include "platform/Displays.h"
#include "platform/SystemInfo.h"
#include "platform/Workspace.h"

namespace qv {

class SimDesktop;

class SimDisplays : public Displays {
  public:
    explicit SimDisplays(SimDesktop& sim) : sim_(sim) {}
    std::vector<Screen> screens() override;
    uint32_t mainDisplayID() override;
    int32_t getActiveDisplayList(uint32_t maxDisplays, std::vector<uint32_t>& displays) override;
    std::optional<std::string> displayUUIDString(uint32_t displayID) override;
    bool displayIsMain(uint32_t displayID) override;
    int32_t getDisplaysWithPoint(Point point, uint32_t maxDisplays, std::vector<uint32_t>& displays) override;
    bool screensHaveSeparateSpaces() override;

  private:
    SimDesktop& sim_;
};

class SimWorkspace : public Workspace {
  public:
    explicit SimWorkspace(SimDesktop& sim) : sim_(sim) {}
    std::vector<RunningApplication> runningApplications() override;
    std::optional<RunningApplication> runningApplication(int32_t pid) override;
    std::optional<RunningApplication> frontmostApplication() override;
    std::vector<RunningApplication> runningApplications(const std::string& bundleIdentifier) override;
    NotificationCenter& notificationCenter() override;
    // Bundles, icons, opening and activation: SimApplications.cpp.
    std::optional<std::string> urlForApplication(const std::string& bundleIdentifier) override;
    std::shared_ptr<const Image> iconForFile(const std::string& path) override;
    std::shared_ptr<const Image> iconForContentType(const std::string& contentType) override;
    std::optional<Value> bundleInfoDictionary(const std::string& path) override;
    void openApplication(const std::string& path) override;
    RunningApplication currentApplication() override;
    std::shared_ptr<const Image> runningApplicationIcon(int32_t pid) override;
    bool activateApplicationFrom(int32_t pid, int32_t fromPID, uint32_t options) override;
    bool activateApplication(int32_t pid, uint32_t options) override;
    bool terminateApplication(int32_t pid) override;
    bool openURL(const std::string& url) override;
    bool openFile(const std::string& path) override;

  private:
    SimDesktop& sim_;
};

class SimSystemInfo : public SystemInfo {
  public:
    explicit SimSystemInfo(SimDesktop& sim) : sim_(sim) {}
    int operatingSystemMajorVersion() override;
    std::optional<std::string> environmentVariable(std::string_view name) override;
    int32_t currentProcessID() override;
    std::string currentLocaleIdentifier() override { return localeIdentifier; }

    // The simulated user's region setting.
    std::string localeIdentifier = "en_US";

  private:
    SimDesktop& sim_;
};

}  // namespace qv
