#include "scenario/Runner.h"

namespace qv {

const std::string& demoScenario() {
    static const std::string script =
        R"(# The program's own demonstration, on its demo desktop and the virtual clock.
say "QuillVorn on the simulated demo desktop: two displays, four desktops, a handful of applications."
demo-desktop
say "The chips the bar is made of, at every bar size over every bar background:"
chip-sheet 00-chips
say "The user has asked for the Dock to be hidden, and the Side Monitor shows a light desktop picture."
say "Option-Space is the launcher's hot key."
set hideDock true
set hotkeyKeyCode 49
set hotkeyModifiers 2048
set pinnedApps com.example.atlas:1 com.example.ledger:1
wallpaper "Side Monitor" f1ece2 fbf8f3
revoke screen-recording
start

say "Screen Recording is not granted yet, so the permissions gate comes first."
expect panel "quillVorn Setup"
expect text "Required"
expect whole "Grant both permissions to continue"
expect whole "Continue"
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
expect bar-look 3 light
expect bar-look 1 dark

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
say "Switching to desktop 2 takes a third of a second and then shows desktop 2's bar; at size xl"
say "the bars are 54 points high."
switch-desktop 2
advance 0.33
set barSize xl
expect bar 2 0 0 1920 54 shown
screenshot 04-desktop-2-xl
set barSize medium
switch-desktop 1
advance 0.33

say "Scrolling up over a bar with the setting \"right\" moves one desktop right, through the system's"
say "own shortcut for desktop 2; its bar comes to the front."
set scrollUpSpaceSwitch right
scroll 1000 1062 0 100
expect posted-keys down:ctrl+2 up:2
advance 0.33
expect active-desktop main 2
expect bar 2 0 0 1920 36 shown
screenshot 05-scrolled-to-desktop-2
advance 0.1
scroll 1000 1062 0 -100
advance 0.33
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

say "Resting the pointer on Compass's group chip opens the pictures of its two windows above the bar."
move 1000 500
advance 0.5
hover-chip 1 "Compass — Start Page"
advance 0.5
expect popup-cards picture picture
screenshot 09-thumbnails
move 1000 500
advance 0.3
expect popup none
say "The button at the left end of the Side Monitor's bar opens the launcher above that bar; pressing"
say "it again closes it."
click 1940 882
expect launcher "Side Monitor"
screenshot 10-launcher-over-a-bar
click 1940 882
expect launcher closed
say "The launcher's hot key, with the pointer on the Studio Display, opens the launcher above its bar."
say "Typing \"code\" leaves Code Editor; Return launches it, its window joins the bar, the launcher closes."
move 900 500
advance 0.1
key opt+space
expect launcher "Studio Display"
advance 0.2
type "code"
expect text "Code Editor"
screenshot 11-launcher-search
key return
advance 1
expect launcher closed
expect chips 1 "Inbox — 3 unread" "Compass — Start Page" "Shopping list" "Code Editor"
screenshot 12-code-editor-launched
close-window "Code Editor"
advance 1
say "The switcher near the bar's right end numbers the display's desktops; a click opens their list"
say "above the bar, the full-screen desktop by its app. A row closes the list and switches."
click-switcher 1
advance 1
expect desktop-list 1732 44 180 132 "Studio Display" "● Desktop 1" "4" "Desktop 2" "4" "Canvas"
screenshot 13-desktop-list
click "Desktop 2"
advance 1
expect desktop-list none
expect active-desktop main 2
switch-desktop 1
advance 0.33

say "Settings, the launcher's shortcut, and the snap layouts each screen offers:"
show settings
show snap-layouts

say "A right click on the bar's empty space opens its menu; \"Settings\" opens the settings window,"
say "centred on the main screen."
right-click 1500 1062
expect menu "Show Desktop" "Activity Monitor" "-" "Settings"
pick-menu "Settings"
advance 0
expect panel "quillVorn settings"
screenshot 14-settings-window
say "Bar size Large in the settings: every bar grows to 44 points at once."
click "Large"
expect setting barSize large
expect bar 1 0 0 1920 44 shown
screenshot 15-settings-large-bars
say "Snap layouts on, and the launcher's hot key recorded as Control-Space."
click-switch "Snap layouts"
expect setting snapLayoutsEnabled true
click-field "App Launcher Shortcut"
key ctrl+space
expect field "App Launcher Shortcut" "⌃Space"
settings-picture 16-settings-content
key cmd+w
expect no-panel "quillVorn settings"
set barSize medium

say "The window switcher: holding Option and pressing Tab shows the windows of the display under the"
say "pointer, most recently used first, 0.15 s later; releasing Option activates the selected one."
set windowSwitcherEnabled true
move 900 500
key-down opt
key-down opt+tab
advance 0.3
expect switcher-cards "Inbox — 3 unread" "Tempo" "New Message" "Compass — Release Notes" "Compass — Start Page" "Shopping list"
expect switcher "Inbox — 3 unread"
expect switcher-pictures picture picture picture picture picture picture
screenshot 17-window-switcher
key-down opt+tab
key-down opt+tab
expect switcher "New Message"
key-up opt
advance 0.5
expect switcher none
say "Activated: \"New Message\"."
expect focused "New Message"

say "Harbor Mail quits: its chip leaves the bar."
quit "Harbor Mail"
advance 1
expect chips 1 "Compass — Start Page" "Shopping list"

say "Terminal crashes: none of its windows says goodbye, yet its chips leave every bar."
crash "Terminal"
advance 1
expect chips 2 "Budget 2027.ledger" "Meeting notes"
show chips

say "Window tiling: the user drags Compass's release notes by the title bar into the menu bar. Once the"
say "window is known to be tileable the layout flyout fades in; the zone under the pointer lights up and"
say "its preview shows below the window."
set snapLayoutsEnabled true
set resizeAdjacentWindowsEnabled true
set keyboardSnapEnabled true
set keyboardSnapModifiers 6144
press 900 150
drag-to 960 10
advance 0.12
expect flyout 828 31 264 108 1
drag-to 938 61
expect hovered-zone 2 1
advance 0.14
expect preview 8 33 1265 1002 "Compass — Release Notes"
screenshot 18-snap-layout-flyout
release 938 61
expect frame "Compass — Release Notes" 8 33 1265 1002
say "Control-option-right snaps the focused window to the right half."
key ctrl+opt+right
expect frame "Compass — Release Notes" 964 33 948 1002
screenshot 19-keyboard-snap
)";
    return script;
}

}  // namespace qv
