#pragma once

#include "dispatch/AppWorkers.h"
#include "dispatch/Runtime.h"
#include "platform/Accessibility.h"
#include "platform/Carbon.h"
#include "platform/Displays.h"
#include "platform/Dock.h"
#include "platform/EventTaps.h"
#include "platform/Events.h"
#include "platform/FileEventStreams.h"
#include "platform/FileSystem.h"
#include "platform/LaunchServices.h"
#include "platform/LoginItems.h"
#include "platform/NotificationCenter.h"
#include "platform/Preferences.h"
#include "platform/Processes.h"
#include "platform/ScreenCapture.h"
#include "platform/SystemInfo.h"
#include "platform/Updater.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"

namespace qv {

class Windowing;    // platform/Windowing.h
class Application;  // platform/Application.h

// Every platform service, handed down by the composition root. Objects keep references to the
// services they use; the bundle outlives them all.
struct Platform {
    Runtime& runtime;
    // The worker of each application, on which every request that waits for its answer runs.
    AppWorkers& appWorkers;
    WindowServer& windowServer;
    Displays& displays;
    Workspace& workspace;
    SystemInfo& system;
    NotificationCenter& notifications;  // the application's default notification centre
    FileSystem& fileSystem;
    LoginItems& loginItems;
    Processes& processes;
    LaunchServices& launchServices;
    Windowing& windowing;  // AppKit: our panels, menus, event monitors, cursor
    Accessibility& accessibility;
    Dock& dock;  // the Dock's private calls
    // Input: event taps, synthesised events, Carbon hot keys and the keyboard layout.
    EventTaps& eventTaps;
    Events& events;
    Carbon& carbon;
    // The application shell: our application object, capture access, the updater.
    Application& application;
    ScreenCapture& screenCapture;
    Updater& updater;
    // Other applications' preferences domains (the Dock's).
    Preferences& preferences;
    // File-system event streams over folders.
    FileEventStreams& fileEventStreams;
};

}  // namespace qv
