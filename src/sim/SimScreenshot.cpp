// SimDesktop::renderSvg: a screenshot of the simulated desktop as one SVG document.
#include <algorithm>
#include <sstream>

#include "sim/SimDesktop.h"
#include "sim/SimDock.h"
#include "sim/SimWindowing.h"
#include "ui/SvgRenderer.h"

namespace qv {

namespace {

using N = SvgRenderer;

constexpr double kMenuBarHeight = 25;
constexpr double kTitleBarHeight = 28;

// A display's desktop picture, the diagonal gradient it is.
void drawWallpaper(std::ostream& out, const SimDisplay& d, const SimWallpaper& wallpaper) {
    std::string id = "wall" + std::to_string(d.id);
    out << "<defs><linearGradient id=\"" << id
        << "\" x1=\"0\" y1=\"0\" x2=\"1\" y2=\"1\"><stop offset=\"0\" stop-color=\""
        << SimWallpaper::hex(wallpaper.from) << "\"/><stop offset=\"1\" stop-color=\""
        << SimWallpaper::hex(wallpaper.to) << "\"/></linearGradient></defs>";
    const Rect& f = d.frame;
    out << "<rect x=\"" << N::number(f.minX()) << "\" y=\"" << N::number(f.minY()) << "\" width=\""
        << N::number(f.width()) << "\" height=\"" << N::number(f.height()) << "\" fill=\"url(#" << id
        << ")\"/>";
}

enum class Align { start, middle, end };

// A text of the desktop's own, at its measured width, starting, centred or ending at `x`.
void drawLabel(std::ostream& out, const std::string& text, const Font& font, double x, double baseline,
               Align align, const std::string& paint) {
    const double width = textmetrics::width(text, font);
    const double left = align == Align::start ? x : align == Align::middle ? x - width / 2 : x - width;
    N::drawText(out, text, font, left, baseline, paint);
}

const Font kTitleFont = Font::system(13, FontWeight::semibold);
const std::string kTitlePaint = " fill=\"#3a3a3c\"";

void drawMenuBar(std::ostream& out, const SimDisplay& d, const std::string& appName) {
    const Rect& f = d.frame;
    out << "<rect x=\"" << N::number(f.minX()) << "\" y=\"" << N::number(f.minY()) << "\" width=\""
        << N::number(f.width()) << "\" height=\"" << kMenuBarHeight
        << "\" fill=\"#1c1c1e\" fill-opacity=\"0.55\"/>";
    drawLabel(out, appName, Font::system(13, FontWeight::bold), f.minX() + 14, f.minY() + 17, Align::start,
              " fill=\"#ffffff\"");
    drawLabel(out, d.name, Font::system(12), f.maxX() - 14, f.minY() + 17, Align::end,
              " fill=\"#ffffff\" fill-opacity=\"0.8\"");
}

// A window's title bar: the top `height` points of its frame with rounded upper corners.
void drawTitleBar(std::ostream& out, const Rect& f, double height, const char* extraAttributes) {
    out << "<path d=\"M" << N::number(f.minX()) << " " << N::number(f.minY() + height) << " V"
        << N::number(f.minY() + 10) << " Q" << N::number(f.minX()) << " " << N::number(f.minY()) << " "
        << N::number(f.minX() + 10) << " " << N::number(f.minY()) << " H" << N::number(f.maxX() - 10) << " Q"
        << N::number(f.maxX()) << " " << N::number(f.minY()) << " " << N::number(f.maxX()) << " "
        << N::number(f.minY() + 10) << " V" << N::number(f.minY() + height) << " Z\" fill=\"#e3e3e6\""
        << extraAttributes << "/>";
}

// Opens a group that shows only what lies within `frame`; the caller closes it.
void openFrameClip(std::ostream& out, const Rect& frame, const std::string& id) {
    out << "<clipPath id=\"" << id << "\"><rect x=\"" << N::number(frame.minX()) << "\" y=\""
        << N::number(frame.minY()) << "\" width=\"" << N::number(frame.width()) << "\" height=\""
        << N::number(frame.height()) << "\"/></clipPath><g clip-path=\"url(#" << id << ")\">";
}

// Another application's window; its texts stay within its frame, however long they are.
void drawAppWindow(std::ostream& out, const SimWindow& w, const std::string& owner, const std::string& clipID) {
    const Rect& f = w.frame;
    double alpha = std::clamp(double(w.alpha), 0.0, 1.0);
    out << "<g opacity=\"" << N::number(alpha) << "\">";
    if (w.layer != 0) {
        // Utility strips and overlays: a plain translucent box with their owner's name.
        out << "<rect x=\"" << N::number(f.minX()) << "\" y=\"" << N::number(f.minY()) << "\" width=\""
            << N::number(f.width()) << "\" height=\"" << N::number(f.height())
            << "\" rx=\"10\" fill=\"#2c2c2e\" fill-opacity=\"0.6\"/>";
        openFrameClip(out, f, clipID);
        drawLabel(out, owner + (w.title.empty() ? "" : " — " + w.title), Font::system(12), f.midX(),
                  f.midY() + 4, Align::middle, " fill=\"#ffffff\" fill-opacity=\"0.7\"");
        out << "</g></g>";
        return;
    }
    out << "<rect x=\"" << N::number(f.minX() + 2) << "\" y=\"" << N::number(f.minY() + 6) << "\" width=\""
        << N::number(f.width()) << "\" height=\"" << N::number(f.height())
        << "\" rx=\"10\" fill=\"#000000\" fill-opacity=\"0.25\"/>";
    out << "<rect x=\"" << N::number(f.minX()) << "\" y=\"" << N::number(f.minY()) << "\" width=\""
        << N::number(f.width()) << "\" height=\"" << N::number(f.height())
        << "\" rx=\"10\" fill=\"#f5f5f7\" stroke=\"#9a9aa0\" stroke-width=\"0.5\"/>";
    double tb = std::min(kTitleBarHeight, f.height());
    drawTitleBar(out, f, tb, "");
    static const char* kLights[] = {"#ff5f57", "#febc2e", "#28c840"};
    for (int i = 0; i < 3; ++i) {
        out << "<circle cx=\"" << N::number(f.minX() + 16 + 20 * i) << "\" cy=\""
            << N::number(f.minY() + tb / 2) << "\" r=\"6\" fill=\"" << kLights[i] << "\"/>";
    }
    openFrameClip(out, f, clipID);
    std::string title = w.title.empty() ? owner : w.title;
    auto line = textmetrics::truncateTail(title, kTitleFont, std::max(0.0, f.width() - 150));
    drawLabel(out, line.text, kTitleFont, f.midX(), f.minY() + tb / 2 + 4.5, Align::middle, kTitlePaint);
    drawLabel(out, owner, Font::system(12), f.minX() + 16, f.minY() + tb + 22, Align::start,
              " fill=\"#8e8e93\"");
    out << "</g></g>";
}

// The Dock: a rounded platter along its screen edge, within its strip, holding a tile for each
// application it shows, with a dot under each (they all run).
void drawDock(std::ostream& out, const Rect& strip, SimDockSide side, const std::vector<std::string>& names) {
    const bool vertical = side != SimDockSide::bottom;
    const double thickness = vertical ? strip.width() : strip.height();
    const double extent = vertical ? strip.height() : strip.width();
    constexpr double kGap = 6, kPad = 8, kInset = 3;
    const double n = double(std::max<size_t>(names.size(), 1));
    // Tiles shrink when the strip cannot hold them all.
    const double tile = std::max(4.0, std::min(thickness - 2 * kInset - 2 * kPad - 6,
                                               (extent - 2 * kPad + kGap) / n - kGap));
    const double length = std::min(extent, n * (tile + kGap) - kGap + 2 * kPad);
    const double across = tile + 2 * kPad;
    Rect platter;
    const double start = (vertical ? strip.midY() : strip.midX()) - length / 2;
    switch (side) {
        case SimDockSide::bottom:
            platter = {start, strip.maxY() - kInset - across, length, across};
            break;
        case SimDockSide::left:
            platter = {strip.minX() + kInset, start, across, length};
            break;
        case SimDockSide::right:
            platter = {strip.maxX() - kInset - across, start, across, length};
            break;
    }
    out << "<rect x=\"" << N::number(platter.minX()) << "\" y=\"" << N::number(platter.minY()) << "\" width=\""
        << N::number(platter.width()) << "\" height=\"" << N::number(platter.height())
        << "\" rx=\"18\" fill=\"#f2f2f5\" fill-opacity=\"0.6\" stroke=\"#ffffff\" stroke-opacity=\"0.5\"/>";
    for (size_t i = 0; i < names.size(); ++i) {
        const double along = kPad + double(i) * (tile + kGap);
        const Point at = vertical ? Point{platter.minX() + kPad - 3, platter.minY() + along}
                                  : Point{platter.minX() + along, platter.minY() + kPad - 3};
        N::drawNamedIcon(out, names[i], at.x, at.y, tile, tile, 1);
        const Point dot = vertical ? Point{side == SimDockSide::left ? platter.minX() + 4 : platter.maxX() - 4,
                                           at.y + tile / 2}
                                   : Point{at.x + tile / 2, platter.maxY() - 4};
        out << "<circle cx=\"" << N::number(dot.x) << "\" cy=\"" << N::number(dot.y)
            << "\" r=\"1.5\" fill=\"#1c1c1e\" fill-opacity=\"0.7\"/>";
    }
}

// The applications the Dock shows a tile for: the Finder first, then the other running
// applications that have a tile, in launch order.
std::vector<std::string> dockTiles(const std::map<int32_t, SimApp>& apps) {
    std::vector<std::string> names;
    for (const auto& [pid, a] : apps) {
        if (a.terminated || a.policy != ActivationPolicy::regular || a.bundleID == SimDock::kBundleID) continue;
        if (a.bundleID == "com.apple.finder")
            names.insert(names.begin(), a.name);
        else
            names.push_back(a.name);
    }
    return names;
}

// The window buttons of one of our titled panels; when the content runs under the title bar, the
// bar itself unless it is transparent, and the title. Buttons the style leaves out are greyed.
void drawTitleBarControls(std::ostream& out, const SimWindow& w, uint64_t style, bool drawBar,
                          bool drawTitle) {
    const Rect& f = w.frame;
    if (drawBar) drawTitleBar(out, f, kTitleBarHeight, " stroke=\"#c8c8cc\" stroke-width=\"0.5\"");
    const bool enabled[] = {(style & stylemask::kClosable) != 0, (style & stylemask::kMiniaturizable) != 0,
                            (style & stylemask::kResizable) != 0};
    static const char* kLights[] = {"#ff5f57", "#febc2e", "#28c840"};
    const Rect close = titleBarCloseButtonFrame(f);
    for (int i = 0; i < 3; ++i) {
        out << "<circle cx=\"" << N::number(close.midX() + 20 * i) << "\" cy=\"" << N::number(close.midY())
            << "\" r=\"6\" fill=\"" << (enabled[i] ? kLights[i] : "#c8c8cc") << "\"/>";
    }
    if (drawTitle) drawLabel(out, w.title, kTitleFont, f.midX(), f.minY() + 18, Align::middle, kTitlePaint);
}

}  // namespace

std::string SimDesktop::renderSvg() const {
    Rect all;
    bool first = true;
    for (const SimDisplay& d : displays_) {
        all = first ? d.frame : all.unionWith(d.frame);
        first = false;
    }
    std::ostringstream out;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\""
        << N::number(all.width()) << "\" height=\"" << N::number(all.height()) << "\" viewBox=\""
        << N::number(all.minX()) << " " << N::number(all.minY()) << " " << N::number(all.width()) << " "
        << N::number(all.height()) << "\">";
    out << "<rect x=\"" << N::number(all.minX()) << "\" y=\"" << N::number(all.minY()) << "\" width=\""
        << N::number(all.width()) << "\" height=\"" << N::number(all.height()) << "\" fill=\"#101012\"/>";

    // Back to front: the reverse of the window list's order.
    std::vector<const SimWindow*> order;
    for (const SimWindow* w : windowsInListOrder()) {
        if (isOnScreen(*w)) order.push_back(w);
    }
    std::reverse(order.begin(), order.end());
    std::string front = "Finder";
    if (frontmost_) {
        if (const SimApp* a = app(*frontmost_)) front = a->name;
    }

    const std::vector<SimOpenMenu> menus = windowing_->openMenus();
    const ColorScheme scheme = windowing_->systemAppearanceIsDark() ? ColorScheme::dark : ColorScheme::light;
    for (size_t i = 0; i < displays_.size(); ++i) {
        const SimDisplay& d = displays_[i];
        std::string clip = "disp" + std::to_string(d.id);
        out << "<clipPath id=\"" << clip << "\"><rect x=\"" << N::number(d.frame.minX()) << "\" y=\""
            << N::number(d.frame.minY()) << "\" width=\"" << N::number(d.frame.width()) << "\" height=\""
            << N::number(d.frame.height()) << "\"/></clipPath><g clip-path=\"url(#" << clip << ")\">";
        drawWallpaper(out, d, wallpaper(d.id));
        int n = 0;
        for (const SimWindow* w : order) {
            if (!w->frame.intersects(d.frame)) continue;
            if (w->ownerPID == ownPID_) {
                auto panel = windowing_->panel(w->id);
                if (!panel || !panel->contentView()) continue;
                // The window server shows a window's content within its frame, whatever the
                // content's own extent.
                openFrameClip(out, w->frame, "win" + std::to_string(w->id) + "d" + std::to_string(d.id));
                Rect content = flipVertically(panel->contentRect(), primaryHeight());
                if (content != w->frame) {
                    // A titled panel: its frame and title bar around the content.
                    out << "<rect x=\"" << N::number(w->frame.minX()) << "\" y=\""
                        << N::number(w->frame.minY()) << "\" width=\"" << N::number(w->frame.width())
                        << "\" height=\"" << N::number(w->frame.height())
                        << "\" rx=\"10\" fill=\"#ececec\"/>";
                    drawLabel(out, w->title, kTitleFont, w->frame.midX(), w->frame.minY() + 18, Align::middle,
                              kTitlePaint);
                }
                // Only what shows of the content on this display, at the display's pixels.
                const Rect shown = w->frame.intersection(d.frame).offsetBy(-content.minX(), -content.minY());
                SvgRenderer::renderGroup(
                    out, panel->contentView()->displayList(), content.origin, w->alpha,
                    "p" + std::to_string(w->id) + "d" + std::to_string(d.id) + "_" + std::to_string(n++),
                    d.backingScaleFactor, shown);
                if (panel->styleMask() & stylemask::kTitled) {
                    const bool underTitleBar = content == w->frame;
                    drawTitleBarControls(out, *w, panel->styleMask(),
                                         underTitleBar && !panel->titlebarAppearsTransparent,
                                         underTitleBar && panel->titleVisible);
                }
                out << "</g>";
            } else {
                const SimApp* a = app(w->ownerPID);
                if (a && a->bundleID == SimDock::kBundleID) {
                    // A Dock that hides itself stays out of sight.
                    if (dock_->isShowing()) drawDock(out, w->frame, dock_->look().side, dockTiles(apps_));
                    continue;
                }
                drawAppWindow(out, *w, a ? a->name : "",
                              "win" + std::to_string(w->id) + "d" + std::to_string(d.id));
            }
        }
        if (showsMenuBar(d)) drawMenuBar(out, d, front);
        // Open menus stand above everything, the menu bar included.
        for (size_t m = 0; m < menus.size(); ++m) {
            const MenuLayout& layout = menus[m].layout;
            if (!layout.frame.intersects(d.frame)) continue;
            SvgRenderer::renderGroup(out, layout.drawing(scheme, menus[m].highlighted), layout.frame.origin,
                                     1, "m" + std::to_string(m) + "d" + std::to_string(d.id),
                                     d.backingScaleFactor);
        }
        out << "</g>";
    }
    out << "</svg>\n";
    return out.str();
}

}  // namespace qv
