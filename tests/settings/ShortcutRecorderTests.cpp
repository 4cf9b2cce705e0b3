#include <gtest/gtest.h>

#include "settings/ShortcutRecorder.h"
#include "support/KeyboardDesktop.h"

namespace qv {
namespace {

using namespace modifierflags;

class ShortcutRecorderTest : public testing::KeyboardDesktop {
  protected:
    std::vector<std::string> posts;  // "true" / "false", as posted
    Subscription observer = sim.platform().notifications.addObserver(
        kShortcutRecordingNotification, nullptr, [this](const Notification& n) {
            auto number = n.object.asNumberObject();
            posts.push_back(number && number->boolValue() ? "true" : "false");
        });

    std::shared_ptr<ShortcutRecorder> make() {
        return ShortcutRecorder::create(sim.platform().windowing, sim.platform().notifications);
    }
};

TEST_F(ShortcutRecorderTest, TheKeyFilterRecordsOnlyAKeyWithAModifierAndEscapeCancels) {
    auto recorder = make();
    std::vector<std::pair<uint16_t, uint64_t>> recorded;
    bool recordingWhileCalled = false;
    recorder->startRecording([&](uint16_t code, uint64_t f) {
        recorded.push_back({code, f});
        recordingWhileCalled = *recorder->isRecording;
    });
    EXPECT_EQ(posts, (std::vector<std::string>{"true"}));
    key(0);                         // a plain letter
    key(0, kCapsLock | kFunction);  // flags that never count
    key(56, kShift);                // a modifier key's own key-down
    EXPECT_TRUE(recorded.empty());
    EXPECT_TRUE(*recorder->isRecording);
    // An arrow carries the numeric-pad and fn flags; only Control is kept.
    key(123, kControl | kNumericPad | kFunction);
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0], (std::pair<uint16_t, uint64_t>{123, kControl}));
    EXPECT_TRUE(recordingWhileCalled);
    EXPECT_FALSE(*recorder->isRecording);
    EXPECT_EQ(sim.windowing().monitorCount(), 0u);

    recorder->startRecording([&](uint16_t code, uint64_t f) { recorded.push_back({code, f}); });
    key(53, kCommand);  // Escape with anything held
    EXPECT_EQ(recorded.size(), 1u);
    EXPECT_FALSE(*recorder->isRecording);
    recorder->stopRecording();  // idle: nothing posted
    EXPECT_EQ(posts, (std::vector<std::string>{"true", "false", "true", "false"}));
}

TEST_F(ShortcutRecorderTest, StartingARecorderEndsTheOneRecordingSoOnlyOneRecordsAtATime) {
    auto launcherRow = make();
    auto snapRow = make();
    int launcherKeys = 0;
    launcherRow->startRecording([&](uint16_t, uint64_t) { ++launcherKeys; });
    snapRow->startRecordingModifiers(nullptr, nullptr);
    // The first ended, announced before the second began.
    EXPECT_FALSE(*launcherRow->isRecording);
    EXPECT_EQ(launcherRow->localMonitor(), 0u);
    EXPECT_EQ(posts, (std::vector<std::string>{"true", "false", "true"}));
    // Ending the second leaves nothing recording: the taps may resume.
    snapRow->stopRecording();
    key(123, kControl | kOption);
    EXPECT_EQ(launcherKeys, 0);
    EXPECT_EQ(posts.back(), "false");
    // Restarting the same recorder posts false then true.
    launcherRow->startRecording(nullptr);
    launcherRow->startRecording(nullptr);
    EXPECT_EQ(posts, (std::vector<std::string>{"true", "false", "true", "false", "true", "false", "true"}));
}

TEST_F(ShortcutRecorderTest, AChordAccumulatesUntilEveryModifierIsUpAndPassesTheFlagChanges) {
    auto recorder = make();
    std::vector<uint64_t> changes;
    std::optional<uint64_t> chord;
    recorder->startRecordingModifiers([&](uint64_t f) { changes.push_back(f); },
                                      [&](uint64_t f) { chord = f; });
    EXPECT_EQ(sim.callsNamed("NSEvent.addLocalMonitorForEvents").back().args.asNumberObject()->uint64Value(),
              5120u);
    flags(kFunction);
    flags(kFunction | kControl | kCapsLock);
    key(0, kFunction | kControl);  // an ordinary key is swallowed and ends nothing
    flags(kControl | kCapsLock);
    EXPECT_FALSE(chord);
    flags(kCapsLock);
    EXPECT_EQ(chord, kFunction | kControl);
    EXPECT_EQ(changes, (std::vector<uint64_t>{kFunction, kFunction | kControl, kFunction | kControl,
                                              kFunction | kControl}));
    EXPECT_FALSE(*recorder->isRecording);

    // fn let go before Control is pressed completes with fn alone.
    chord.reset();
    recorder->startRecordingModifiers(nullptr, [&](uint64_t f) { chord = f; });
    flags(kFunction);
    flags(0);
    EXPECT_EQ(chord, kFunction);
}

TEST_F(ShortcutRecorderTest, WithoutAMonitorItStillRecordsAndAReleasedRecorderEndsItsRecording) {
    sim.windowing().setMonitorsRefused(true);
    auto recorder = make();
    recorder->startRecording(nullptr);
    EXPECT_TRUE(*recorder->isRecording);
    EXPECT_EQ(recorder->localMonitor(), 0u);
    sim.windowing().setMonitorsRefused(false);
    recorder->startRecording(nullptr);
    ASSERT_EQ(sim.windowing().monitorCount(), 1u);
    recorder.reset();
    EXPECT_EQ(sim.windowing().monitorCount(), 0u);
    EXPECT_EQ(posts.back(), "false");
}

}  // namespace
}  // namespace qv
