#include "app/ScenarioRunner.h"

namespace qv {

const std::string& demoScenario() {
    static const std::string script =
        R"(# The program's own demonstration, on its demo desktop and the virtual clock.
say "QuillVorn on the simulated demo desktop: two displays, four desktops, a handful of applications."
demo-desktop
say "The chips the bar is made of, at every bar size over every bar background:"
chip-sheet 00-chips
say "The user has asked for the Dock to be hidden, and the Side Monitor shows a light desktop picture."
set hideDock true
set pinnedApps com.example.atlas:1 com.example.ledger:1
wallpaper "Side Monitor" f1ece2 fbf8f3
revoke screen-recording
start

say "Screen Recording is not granted yet, so the permissions gate comes first."
expect panel "quillVorn Setup"
expect text "Required"
scroll 960 600 0 -100
expect text "Grant both permissions to continue"
expect disabled "Continue"
screenshot 01-permissions-gate
click "Request Access"
expect prompts screen-recording 1
say "The user grants Screen Recording in System Settings; the gate notices within a second."
grant screen-recording
advance 1
expect text "All required permissions granted"
expect enabled "Continue"
screenshot 02-permissions-granted
click "Continue"
expect no-panel "quillVorn Setup"
expect program running

say "The runtime runs. The Dock hides, its earlier state saved to give it back later."
expect dock hidden
expect dock-restarts 1
expect file "Application Support/quillVorn/initialDockSettings.json" "\"autoHideEnabled\": false"
say "The wallpaper under each display's bar: light on the Side Monitor, dark on the Studio Display."
advance 1
expect wallpaper "Side Monitor" light
expect wallpaper "Studio Display" dark

say "The bar model holds every desktop's chips."
show chips
expect chips 1 "Compass — Start Page" "Inbox — 3 unread" "Shopping list"

say "Every desktop has its bar along the bottom of its display, pinned to it; the full-screen one has"
say "none. Each display's strip is registered with the window server:"
show bars
expect bar 1 0 0 1920 36 shown
expect bar F1 none
expect dock-rect main 0 1044 1920 36
expect dock-rect "Side Monitor" 1920 864 1440 36
screenshot 03-bars
say "Switching to desktop 2 shows desktop 2's bar; at size xl the bars are 54 points high."
switch-desktop 2
set barSize xl
expect bar 2 0 0 1920 54 shown
screenshot 04-desktop-2-xl
set barSize medium
switch-desktop 1

say "Scrolling up over a bar with the setting \"right\" moves one desktop right, through the system's"
say "own shortcut for desktop 2; its bar comes to the front."
set scrollUpSpaceSwitch right
scroll 1000 1062 0 100
expect posted-keys down:ctrl+2 up:2
expect active-desktop main 2
expect bar 2 0 0 1920 36 shown
screenshot 05-scrolled-to-desktop-2
advance 0.4
scroll 1000 1062 0 -100
expect active-desktop main 1

say "Sketchbook launches and opens a window on desktop 1; the program observes it."
launch "Sketchbook" com.example.sketchbook
open-window "Sketchbook" "Untitled sketch" 300 200 900 600 1
activate "Sketchbook"
advance 1
expect observed "Sketchbook" yes
expect focused "Untitled sketch"
expect chips 1 "Compass — Start Page" "Inbox — 3 unread" "Shopping list" "Untitled sketch"
screenshot 06-sketchbook-window
close-window "Untitled sketch"
advance 1
expect chips 1 "Compass — Start Page" "Inbox — 3 unread" "Shopping list"

say "The bar's chips: apps pinned to the bar without a window on the desktop come first, then one"
say "chip per window, or per app. A click activates the window; dragging a chip reorders the bar."
expect bar-chips 1 "pin:Atlas" "pin:Ledger" "Compass — Start Page" "Inbox — 3 unread" "Shopping list"
click-chip 1 "Inbox — 3 unread"
expect focused "Inbox — 3 unread"
drag-chip 1 "Compass — Start Page" past "Inbox — 3 unread" hold
screenshot 07-dragging-a-chip
release
expect bar-chips 1 "pin:Atlas" "pin:Ledger" "Inbox — 3 unread" "Compass — Start Page" "Shopping list"
screenshot 08-reordered

say "Settings, the launcher's shortcut, and the snap layouts each screen offers:"
show settings
show snap-layouts

say "The settings window, opened from the bar's menu, centred on the main screen."
open-settings
advance 0
expect panel "quillVorn settings"
screenshot 07-settings-window
say "Bar size Large in the settings: every bar grows to 44 points at once."
click "Large"
expect setting barSize large
expect bar 1 0 0 1920 44 shown
screenshot 08-settings-large-bars
say "Snap layouts on, and the launcher's hot key recorded as Control-Space."
click-switch "Snap layouts"
expect setting snapLayoutsEnabled true
click-field "App Launcher Shortcut"
key ctrl+space
expect field "App Launcher Shortcut" "⌃Space"
settings-picture 09-settings-content
key cmd+w
expect no-panel "quillVorn settings"

say "Harbor Mail quits: its chip leaves the bar."
quit "Harbor Mail"
advance 1
expect chips 1 "Compass — Start Page" "Shopping list"

say "Terminal crashes: none of its windows says goodbye, yet its chips leave every bar."
crash "Terminal"
advance 1
expect chips 2 "Budget 2027.ledger" "Meeting notes"
show chips
)";
    return script;
}

}  // namespace qv
