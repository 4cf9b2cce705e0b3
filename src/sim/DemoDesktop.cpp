#include "sim/SimAccessibility.h"
#include "sim/SimApplications.h"
#include "sim/SimDesktop.h"
#include "sim/SimFileSystem.h"

namespace qv {

void buildDemoDesktop(SimDesktop& sim) {
    sim.setOperatingSystemMajorVersion(27);
    uint32_t main = sim.addDisplay("Studio Display", Rect{0, 0, 1920, 1080});
    uint32_t side = sim.addDisplay("Side Monitor", Rect{1920, 0, 1440, 900});

    uint64_t desk1 = sim.addSpace(main);
    uint64_t desk2 = sim.addSpace(main);
    uint64_t fullScreen = sim.addSpace(main, kSimSpaceTypeFullScreen);
    uint64_t sideDesk = sim.addSpace(side);

    auto app = [&](const char* bundleID, const char* name,
                   ActivationPolicy policy = ActivationPolicy::regular) {
        return sim.launchApp(std::string(bundleID), name, policy);
    };
    int32_t compass = app("com.example.compass", "Compass");
    int32_t inkwell = app("com.example.inkwell", "Inkwell");
    int32_t harbor = app("com.example.harbormail", "Harbor Mail");
    int32_t terminal = app("com.example.terminal", "Terminal");
    int32_t ledger = app("com.example.ledger", "Ledger");
    int32_t canvas = app("com.example.canvas", "Canvas");
    int32_t tempo = app("com.example.tempo", "Tempo", ActivationPolicy::accessory);
    int32_t dock = app("com.apple.dock", "Dock");
    app("com.apple.finder", "Finder");  // no windows open
    sim.app(harbor)->badgeLabel = "3";
    sim.app(ledger)->badgeLabel = "1";
    sim.app(inkwell)->wantsAttention = true;

    auto win = [&](int32_t pid, const char* title, Rect frame, uint64_t space) {
        return sim.openWindow(pid, title, space, frame);
    };

    // Main display, desktop 1.
    win(compass, "Compass — Start Page", Rect{80, 60, 1100, 760}, desk1);
    win(compass, "Compass — Release Notes", Rect{420, 140, 1000, 700}, desk1);
    uint32_t mail = win(harbor, "Inbox — 3 unread", Rect{240, 200, 1200, 720}, desk1);
    uint32_t notesMin = win(inkwell, "Shopping list", Rect{600, 300, 500, 500}, desk1);
    sim.setWindowMinimized(notesMin, true);

    // A compose sheet attached to the mail window, and a tooltip too small for a chip.
    sim.openWindow(harbor, "New Message", desk1, Rect{440, 260, 700, 420}, [&](SimWindowSpec& sheet) {
        sheet.parent = mail;
        sheet.subrole = "AXDialog";
    });
    win(harbor, "", Rect{500, 500, 120, 24}, desk1);

    // Main display, desktop 2.
    win(terminal, "build — zsh", Rect{60, 80, 900, 560}, desk2);
    win(terminal, "logs — tail", Rect{980, 80, 880, 560}, desk2);
    win(ledger, "Budget 2027.ledger", Rect{200, 300, 1400, 700}, desk2);
    uint32_t notes = win(inkwell, "Meeting notes", Rect{700, 120, 640, 820}, desk2);

    // A formatting palette of the notes window that Inkwell keeps out of its Accessibility window
    // list, and a ledger application whose window list cannot be read through Accessibility.
    sim.openWindow(inkwell, "Format", desk2, Rect{1360, 120, 220, 400}, [&](SimWindowSpec& palette) {
        palette.parent = notes;
        palette.subrole = "AXFloatingWindow";
        palette.inAXWindowList = false;
    });
    sim.accessibility().faults(ledger).windowListUnreadable = true;

    // The full-screen desktop holds one window that fills the display.
    win(canvas, "Poster draft", Rect{0, 0, 1920, 1080}, fullScreen);

    // Second display.
    win(compass, "Compass — Maps", Rect{2000, 80, 1200, 760}, sideDesk);
    win(terminal, "server — ssh", Rect{2100, 300, 1000, 500}, sideDesk);

    // Windows that never belong on a bar: an accessory app's popover and the Dock's own strip.
    win(tempo, "Tempo", Rect{1500, 30, 300, 360}, desk1);
    SimWindowSpec dockStrip;
    dockStrip.pid = dock;
    dockStrip.title = "Dock";
    dockStrip.frame = Rect{0, 1010, 1920, 70};
    dockStrip.layer = 20;
    dockStrip.space = desk1;
    sim.openWindow(dockStrip);

    // The folders every Mac has: the wallpaper store and the Dock's.
    sim.fileSystem().createFolder(sim.wallpaperStoreFolder());
    sim.fileSystem().createFolder(sim.fileSystem().homeDirectory() + "/Library/Application Support/Dock");

    sim.activateApp(compass);

    // The bundles on disk: the running applications' and a few more the launcher lists.
    struct Bundle {
        const char* path;
        const char* bundleID;
        const char* name;
    };
    for (const Bundle& b : std::initializer_list<Bundle>{
             {"/Applications/Compass.app", "com.example.compass", "Compass"},
             {"/Applications/Inkwell.app", "com.example.inkwell", "Inkwell"},
             {"/Applications/Harbor Mail.app", "com.example.harbormail", "Harbor Mail"},
             {"/Applications/Utilities/Terminal.app", "com.example.terminal", "Terminal"},
             {"/Applications/Ledger.app", "com.example.ledger", "Ledger"},
             {"/Applications/Canvas.app", "com.example.canvas", "Canvas"},
             {"/Applications/Tempo.app", "com.example.tempo", "Tempo"},
             {"/Applications/Code Editor.app", "com.example.codeeditor", "Code Editor"},
             {"/Applications/Atlas.app", "com.example.atlas", "Atlas"},
             {"/System/Applications/Abacus.app", "com.example.abacus", "Abacus"},
             {"/System/Applications/Utilities/Disk Doctor.app", "com.example.diskdoctor", "Disk Doctor"},
             {"/System/Library/CoreServices/Finder.app", "com.apple.finder", "Finder"},
         }) {
        SimInstalledApp app;
        app.path = b.path;
        app.bundleID = b.bundleID;
        app.name = b.name;
        app.windowsOnLaunch = {std::string(b.name)};
        sim.applications().install(std::move(app));
    }
}

}  // namespace qv
