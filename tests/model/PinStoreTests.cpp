#include <gtest/gtest.h>

#include "dispatch/ManualRuntime.h"
#include "model/PinStore.h"
#include "sim/SimDesktop.h"

namespace qv {
namespace {

using Ids = std::vector<std::string>;
using Records = std::vector<PinnedAppRecord>;

const PinDestination kBar = PinDestination::bar();
const PinDestination kMenu = PinDestination::appMenu();

class PinStoreTest : public ::testing::Test {
  protected:
    ManualRuntime rt;
    SimDesktop sim{rt};
    std::shared_ptr<UserSettings> settings = UserSettings::create(sim.platform());

    std::unique_ptr<PinStore> storeWith(Records pins) {
        settings->setPinnedApps(std::move(pins));
        return std::make_unique<PinStore>(*settings);
    }
    size_t writes() const { return sim.callsNamed("Data.write").size(); }
};

TEST_F(PinStoreTest, PinningToBothPlacesKeepsOneRecordInItsPlaceUntilItIsPinnedNowhere) {
    auto pins = storeWith({{"a", 1}, {"b", 2}, {"c", 1}});
    pins->setPin("b", kBar, true);
    EXPECT_EQ(*pins->pinnedApps, (Records{{"a", 1}, {"b", 3}, {"c", 1}}));
    EXPECT_TRUE(pins->isPinned("b", kBar | kMenu));
    EXPECT_FALSE(pins->isPinned("a", kBar | kMenu));

    pins->setPin("b", kMenu, false);
    EXPECT_EQ(*pins->pinnedApps, (Records{{"a", 1}, {"b", 1}, {"c", 1}}));
    pins->setPin("b", kBar, false);
    EXPECT_EQ(*pins->pinnedApps, (Records{{"a", 1}, {"c", 1}}));
    EXPECT_FALSE(pins->isPinned("b", kBar));
    // Every change reached the settings store.
    EXPECT_EQ(settings->data->pinnedApps, *pins->pinnedApps);
}

TEST_F(PinStoreTest, NewPinsGoToTheEndAndNothingHappensForEmptyOrUnknownIds) {
    auto pins = storeWith({{"a", 1}});
    pins->setPin("new", kMenu, true);
    EXPECT_EQ(*pins->pinnedApps, (Records{{"a", 1}, {"new", 2}}));

    int published = 0;
    auto sub = pins->pinnedApps.subscribeToChanges([&](const Records&) { ++published; });
    pins->setPin("absent", kBar, false);
    pins->setPin("", kBar, true);
    pins->setPin("", kBar, false);
    pins->setPin("other", PinDestination{}, true);  // pinned nowhere: never a record
    EXPECT_EQ(published, 0);
    EXPECT_EQ(*pins->pinnedApps, (Records{{"a", 1}, {"new", 2}}));
}

TEST_F(PinStoreTest, AnUnchangedPinTellsThePinObserversButNotTheSettings) {
    auto pins = storeWith({{"a", 1}});
    rt.advance(0.5);
    size_t before = writes();
    int pinEvents = 0, settingsEvents = 0;
    auto a = pins->pinnedApps.subscribeToChanges([&](const Records&) { ++pinEvents; });
    auto b = settings->data.subscribeToChanges([&](const UserSettingsData&) { ++settingsEvents; });
    pins->setPin("a", kBar, true);
    EXPECT_EQ(pinEvents, 1);
    EXPECT_EQ(settingsEvents, 0);
    rt.advance(1);
    EXPECT_EQ(writes(), before);
}

TEST_F(PinStoreTest, PinsAreSavedThroughTheSettingsStore) {
    auto pins = storeWith({});
    pins->setPin("com.example.mail", kBar, true);
    pins->setPin("com.example.notes", kMenu, true);
    rt.advance(0.5);
    EXPECT_EQ(writes(), 1u);
    // A new store reads back what the file holds.
    auto reread = UserSettings::create(sim.platform());
    EXPECT_EQ(PinStore(*reread).pinnedAppIDs(kBar), Ids{"com.example.mail"});
    EXPECT_EQ(PinStore(*reread).pinnedAppIDs(kMenu), Ids{"com.example.notes"});
}

// Moves reorder one place within the slots it already holds; records in both places move with
// their bits; a target outside the place sends the id to the end; moves that would not change the
// order do nothing.
TEST_F(PinStoreTest, MovingReordersOnePlaceWithinTheSlotsItAlreadyHolds) {
    auto pins = storeWith({{"A", 1}, {"X", 2}, {"B", 1}, {"C", 1}});
    pins->movePinnedApp("C", "A", kBar);
    EXPECT_EQ(*pins->pinnedApps, (Records{{"C", 1}, {"X", 2}, {"A", 1}, {"B", 1}}));
    EXPECT_EQ(pins->pinnedAppIDs(kBar), (Ids{"C", "A", "B"}));
    EXPECT_EQ(pins->pinnedAppIDs(kMenu), Ids{"X"});

    pins->movePinnedApp("C", std::nullopt, kBar);
    EXPECT_EQ(pins->pinnedAppIDs(kBar), (Ids{"A", "B", "C"}));
    EXPECT_EQ(settings->data->pinnedApps[1], (PinnedAppRecord{"X", 2}));

    pins = storeWith({{"A", 3}, {"X", 2}, {"B", 1}});  // in both places
    pins->movePinnedApp("A", std::nullopt, kBar);
    EXPECT_EQ(*pins->pinnedApps, (Records{{"B", 1}, {"X", 2}, {"A", 3}}));
    EXPECT_EQ(pins->pinnedAppIDs(kMenu), (Ids{"X", "A"}));

    pins = storeWith({{"A", 1}, {"B", 1}, {"M", 2}, {"C", 1}});  // targets outside the place
    pins->movePinnedApp("A", "M", kBar);
    EXPECT_EQ(*pins->pinnedApps, (Records{{"B", 1}, {"C", 1}, {"M", 2}, {"A", 1}}));
    pins->movePinnedApp("C", "nowhere", kBar);
    EXPECT_EQ(pins->pinnedAppIDs(kBar), (Ids{"B", "A", "C"}));

    pins = storeWith({{"A", 1}, {"B", 1}, {"M", 2}});  // moves that change nothing
    int published = 0;
    auto sub = pins->pinnedApps.subscribeToChanges([&](const Records&) { ++published; });
    pins->movePinnedApp("A", "B", kBar);           // already right before B
    pins->movePinnedApp("B", std::nullopt, kBar);  // already last
    pins->movePinnedApp("A", "A", kBar);
    pins->movePinnedApp("M", "A", kBar);  // not pinned to the bar
    pins->movePinnedApp("Z", "A", kBar);
    EXPECT_EQ(published, 0);
}

TEST_F(PinStoreTest, QueriesOnAnEmptyList) {
    auto pins = storeWith({});
    EXPECT_TRUE(pins->pinnedAppIDs(kMenu).empty());
    EXPECT_FALSE(pins->isPinned("a", kBar));
    pins->movePinnedApp("a", std::nullopt, kBar);
    EXPECT_TRUE(pins->pinnedApps->empty());
}

}  // namespace
}  // namespace qv
