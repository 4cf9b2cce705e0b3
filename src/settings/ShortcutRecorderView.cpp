#include "settings/ShortcutRecorderView.h"

#include "launcher/KeyNames.h"
#include "settings/SettingsRows.h"
#include "tiling/SnapKeyRules.h"

namespace qv {

namespace {

constexpr HorizontalAlignment kLeading = HorizontalAlignment::leading;

}  // namespace

Node ShortcutRecorderRow::body() const {
    Node header = HStack(
        VerticalAlignment::top, 10,
        {SettingsRowIcon{icon}.body()->padding(EdgeInsets{1, 0, 0, 0}),
         VStack(kLeading, 2,
                {Text(title, {.font = Font::system(13, FontWeight::medium)}),
                 Text(subtitle, {.font = Font::system(11),
                                 .color = subtitleIsWarning ? Color::orange() : Color::secondary()})})});

    std::vector<Node> label = {fullWidthLeading(
        Text(fieldText, {.font = Font::system(12, FontWeight::semibold, FontDesign::monospaced),
                         .color = fieldIsPlaceholder ? Color::secondary() : Color::primary(),
                         .lineLimit = 1}))};
    const bool isRecording = recorder && *recorder->isRecording;
    if (isRecording) {
        label.push_back(
            Text("Recording...", {.font = Font::system(11, FontWeight::medium), .color = Color::orange()}));
    }
    const Color border = isRecording ? Color::orange().opacity(0.9) : Color::gray(0.35);
    Node field = HStack(VerticalAlignment::center, 8, std::move(label))
                     ->padding(EdgeInsets::symmetric(10, 6))
                     ->background(Color::windowBackground())
                     ->clipShape(Shape::roundedRect(7))
                     ->overlay(RoundedRectangle(7)->strokeBorder(border, 1));
    std::vector<Node> controls = {
        fullWidthLeading(Button(field, toggleRecording)->accessibilityLabel(title, true))};
    if (sideButton) {
        controls.push_back(Button(SymbolImage(sideButton->symbol, Font::system(14, FontWeight::semibold),
                                              Color::secondary()),
                                  sideButton->action)
                               ->help(sideButton->tooltip)
                               ->accessibilityLabel(sideButton->tooltip, true));
    }
    Node controlLine = fullWidthLeading(
        HStack(VerticalAlignment::center, 8, std::move(controls))->padding(EdgeInsets{0, 34, 0, 0}));
    Node row =
        fullWidthLeading(VStack(kLeading, 10, {header, controlLine})->padding(EdgeInsets::symmetric(12, 11)));
    std::weak_ptr<ShortcutRecorder> weak = recorder;
    return row->onDisappear([weak] {
        if (auto r = weak.lock()) r->stopRecording();
    });
}

std::optional<std::string> launcherShortcutRejection(const KeyboardShortcut& recorded,
                                                     const std::optional<KeyboardShortcut>& switcherShortcut,
                                                     std::optional<SnapKeyModifiers> snapKeys) {
    if (!holdsCommandOptionOrControl(recorded)) return "Use Option, Command or Control.";
    if (switcherShortcut && *switcherShortcut == recorded) return "Already used by the window switcher.";
    if (snapKeys && snapKeysTake(*snapKeys, recorded)) return "Already used by the snap keys.";
    return std::nullopt;
}

ShortcutRecorderView::ShortcutRecorderView(Platform& platform, UserSettings& settings, HotkeyManager& hotkey,
                                           bool switcherSupported, bool tilingSupported)
    : carbon_(platform.carbon),
      settings_(settings),
      hotkey_(hotkey),
      switcherSupported_(switcherSupported),
      tilingSupported_(tilingSupported),
      recorder_(ShortcutRecorder::create(platform.windowing, platform.notifications)) {
    observe(recorder_->isRecording);
    shortcutSubscription_ =
        hotkey_.observeCurrentShortcut([this](const std::optional<KeyboardShortcut>&) { setNeedsUpdate(); });
}

void ShortcutRecorderView::toggleRecording() {
    if (*recorder_->isRecording) {
        recorder_->stopRecording();
        return;
    }
    rejection_ = std::nullopt;
    setNeedsUpdate();
    ShortcutRecorderView* self = this;
    recorder_->startRecording([self](uint16_t keyCode, uint64_t flags) { self->record(keyCode, flags); });
}

void ShortcutRecorderView::record(uint16_t keyCode, uint64_t modifierFlags) {
    const KeyboardShortcut recorded{keyCode, carbonModifiers(modifierFlags)};
    rejection_ = launcherShortcutRejection(
        recorded, switcherSupported_ ? std::optional(settings_.windowSwitcherShortcut()) : std::nullopt,
        tilingSupported_ ? settings_.keyboardSnapModifiers() : std::nullopt);
    if (!rejection_) hotkey_.recordShortcut(keyCode, modifierFlags);
    setNeedsUpdate();
}

std::optional<KeyboardShortcut> ShortcutRecorderView::shownShortcut() const {
    // A stored shortcut set aside at start because another row holds its key still shows, with why
    // it is not in use; one that is no shortcut at all does not.
    const UserSettingsData& d = *settings_.data;
    if (setAside() && d.hotkeyKeyCode && d.hotkeyModifiers) {
        const KeyboardShortcut stored{*d.hotkeyKeyCode, *d.hotkeyModifiers};
        if (holdsCommandOptionOrControl(stored)) return stored;
    }
    return hotkey_.currentShortcut();
}

std::optional<std::string> ShortcutRecorderView::setAside() const {
    return settings_.setAsideReason(UserSettings::StoredShortcut::launcher);
}

std::string ShortcutRecorderView::subtitle() const {
    if (*recorder_->isRecording) return "Press a key combination with modifiers. Press Esc to cancel.";
    if (auto reason = setAside(); reason && !rejection_) return *reason + " Not in use.";
    const auto shortcut = shownShortcut();
    if (rejection_ && !shortcut) return *rejection_;
    if (rejection_) return *rejection_ + " Kept " + shortcutDisplayText(shortcut, carbon_) + ".";
    return "Used to open the app launcher from anywhere.";
}

Node ShortcutRecorderView::body() {
    const bool recording = *recorder_->isRecording;
    const auto shortcut = shownShortcut();
    ShortcutRecorderRow row;
    row.icon = "keyboard";
    row.title = "App Launcher Shortcut";
    row.subtitle = subtitle();
    row.subtitleIsWarning = recording || rejection_ || setAside();
    row.fieldText = shortcutDisplayText(shortcut, carbon_);
    row.fieldIsPlaceholder = !shortcut;
    row.recorder = recorder_;
    row.toggleRecording = [this] { toggleRecording(); };
    if (shortcut && !recording) {
        row.sideButton = {"xmark.circle.fill", "Clear Shortcut", [this] {
                              rejection_ = std::nullopt;
                              hotkey_.setCurrentShortcut(std::nullopt);
                              setNeedsUpdate();
                          }};
    }
    return row.body();
}

}  // namespace qv
