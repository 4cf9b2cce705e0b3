#include <gtest/gtest.h>

#include <limits>

#include "support/PreviewDesktop.h"

namespace qv::testing {
namespace {

class ThumbnailServiceTest : public PreviewDesktop {
  protected:
    SimScreenCapture& capture = sim.screenCapture();

    uint32_t open(uint32_t id, Rect frame = {100, 100, 800, 600}) {
        return sim.openWindow(editor, "w" + std::to_string(id), desk, frame,
                              [id](SimWindowSpec& s) { s.id = id; });
    }
    // Asks for the pop-up's picture and waits until everything due now has run.
    std::shared_ptr<const Image> thumbnail(uint32_t id, CancellationTokenPtr token = nullptr) {
        std::shared_ptr<const Image> image;
        service->thumbnail(
            id, [&](auto i) { image = std::move(i); }, std::move(token));
        rt.runUntilIdle();
        return image;
    }
    size_t capturesOf(uint32_t id) {
        size_t n = 0;
        for (const WorldCapture& c : capture.captures()) n += c.windowID == id;
        return n;
    }
};

TEST_F(ThumbnailServiceTest, PicturesAreFreshBelowThirtySecondsAndListingsBelowTwo) {
    open(1);
    auto first = thumbnail(1);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->width, 800);
    EXPECT_EQ(first->height, 600);
    EXPECT_EQ(capture.listingCount(), 1u);

    rt.advance(29.999);
    EXPECT_EQ(thumbnail(1), first);
    EXPECT_EQ(capturesOf(1), 1u);
    rt.advance(0.001);  // exactly 30.0 s old: stale
    EXPECT_NE(thumbnail(1), first);
    EXPECT_EQ(capturesOf(1), 2u);
    const size_t listings = capture.listingCount();

    // A window opened after that listing is missing from it until the listing is 2.0 s old.
    open(2);
    rt.advance(1.999);
    EXPECT_FALSE(thumbnail(2));
    EXPECT_EQ(capture.listingCount(), listings);
    rt.advance(0.001);
    EXPECT_TRUE(thumbnail(2));
    EXPECT_EQ(capture.listingCount(), listings + 1);
}

TEST_F(ThumbnailServiceTest, AFullCacheEvictsTheOldestOnlyForANewWindow) {
    for (uint32_t id = 1; id <= 51; ++id) open(id, {0, 0, 10, 10});
    for (uint32_t id = 1; id <= 50; ++id) thumbnail(id);  // all stored at the same moment
    ASSERT_EQ(service->cacheCount(), 50u);

    // A new picture of a window already cached costs no other window its picture.
    rt.advance(31);
    thumbnail(50);
    EXPECT_EQ(service->cacheCount(), 50u);
    EXPECT_TRUE(service->cachedThumbnail(1));

    // A new window evicts the oldest; of equal times, the one stored first.
    thumbnail(51);
    EXPECT_EQ(service->cacheCount(), 50u);
    EXPECT_FALSE(service->cachedThumbnail(1));
    EXPECT_TRUE(service->cachedThumbnail(2));
}

TEST_F(ThumbnailServiceTest, PrefetchCapturesEachStaleWindowOnceAndReturnsAtOnce) {
    open(7);
    open(9);
    thumbnail(9);
    const size_t listings = capture.listingCount();
    rt.advance(3);  // the listing is stale, picture 9 still fresh

    service->prefetch({7, 7, 9});
    EXPECT_EQ(capture.listingCount(), listings);  // nothing asked inside the call
    rt.runUntilIdle();
    EXPECT_EQ(capturesOf(7), 1u);
    EXPECT_EQ(capturesOf(9), 1u);
    EXPECT_EQ(capture.listingCount(), listings + 1);
    EXPECT_TRUE(service->cachedThumbnail(7));

    // Nothing stale, or nothing asked: no work at all.
    service->prefetch({7, 9});
    service->prefetch({});
    rt.runUntilIdle();
    EXPECT_EQ(capture.listingCount(), listings + 1);
    EXPECT_EQ(capture.captures().size(), 2u);
}

TEST_F(ThumbnailServiceTest, APrefetchWarmsNoMoreWindowsThanTheCacheKeepsTheFirstOfTheList) {
    std::vector<uint32_t> ids;
    for (uint32_t id = 1; id <= 60; ++id) ids.push_back(open(id, {0, 0, 10, 10}));
    service->prefetch(ids);
    rt.runUntilIdle();
    EXPECT_EQ(capture.captures().size(), 50u);
    EXPECT_EQ(capturesOf(50), 1u);
    EXPECT_EQ(capturesOf(51), 0u);
    // Every picture taken is kept, so the same hover again takes none.
    service->prefetch(ids);
    rt.runUntilIdle();
    EXPECT_EQ(capture.captures().size(), 50u);
}

TEST_F(ThumbnailServiceTest, SwitcherCapturesRunFourAtATimeFirstComeFirstServed) {
    for (uint32_t id = 1; id <= 6; ++id) open(id, {0, 0, 1000, 500});
    capture.setCaptureFault(CaptureFault::hold);
    std::vector<uint32_t> answered;
    std::vector<CancellationTokenPtr> tokens;
    for (uint32_t id = 1; id <= 6; ++id) {
        tokens.push_back(makeCancellationToken());
        service->captureSwitcherThumbnail(id, tokens.back(), [&answered, id](auto image) {
            if (image) answered.push_back(id);
        });
    }
    rt.runUntilIdle();
    EXPECT_EQ(capture.listingCount(), 1u);
    ASSERT_EQ(capture.captures().size(), 4u);
    EXPECT_EQ(capture.captures()[0].width, 420);  // the longer side bounded to 420 pixels
    EXPECT_EQ(capture.captures()[0].height, 210);
    EXPECT_EQ(service->runningSwitcherCaptures(), 4);
    EXPECT_EQ(service->waitingSwitcherCaptures(), 2u);

    // Window 5 stops waiting: its slot passes to 6 without a capture. Window 2 stopped waiting
    // during its capture: its picture is kept all the same.
    tokens[4]->cancel();
    tokens[1]->cancel();
    capture.releaseHeldCaptures(1);
    capture.releaseHeldCaptures(2);
    rt.runUntilIdle();
    ASSERT_EQ(capture.captures().size(), 5u);
    EXPECT_EQ(capture.captures()[4].windowID, 6u);
    EXPECT_EQ(service->runningSwitcherCaptures(), 3);
    EXPECT_TRUE(service->cachedSwitcherThumbnail(2));
    EXPECT_TRUE(service->isSwitcherThumbnailFresh(2, 1.0));
    capture.releaseHeldCaptures();
    rt.runUntilIdle();
    EXPECT_EQ(answered, (std::vector<uint32_t>{1, 2, 3, 4, 6}));
    EXPECT_EQ(service->runningSwitcherCaptures(), 0);
    EXPECT_EQ(service->switcherCacheCount(), 5u);
    // The switcher's cache is not the pop-up's.
    EXPECT_FALSE(service->cachedThumbnail(1));
}

TEST_F(ThumbnailServiceTest, ACancelledPopupCaptureKeepsTheOldPictureAndDoubleAnswersCountOnce) {
    open(1);
    auto old = thumbnail(1);
    rt.advance(30);
    auto token = makeCancellationToken();
    std::shared_ptr<const Image> image;
    int calls = 0;
    service->thumbnail(
        1, [&](auto i) { image = std::move(i), ++calls; }, token);
    token->cancel();
    rt.runUntilIdle();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(image, old);
    EXPECT_EQ(service->cachedThumbnail(1), old);

    capture.setWindowCaptureFault(1, CaptureFault::answerTwice);
    calls = 0;
    service->thumbnail(1, [&](auto i) { image = std::move(i), ++calls; });
    rt.runUntilIdle();
    EXPECT_EQ(calls, 1);
    EXPECT_NE(image, old);
}

TEST_F(ThumbnailServiceTest, RequestsThatNeverAnswerFailAfterFiveSecondsAndLateAnswersAreDropped) {
    open(1);
    open(2);
    // A listing that never answers: every capture waiting on it gets none at +5 s.
    capture.setListingFault(CaptureFault::hold);
    int nones = 0;
    for (uint32_t id : {1u, 2u}) service->thumbnail(id, [&](auto i) { nones += !i; });
    rt.advance(4.999);
    EXPECT_EQ(nones, 0);
    EXPECT_TRUE(service->isListingRequested());
    rt.advance(0.001);
    EXPECT_EQ(nones, 2);
    EXPECT_FALSE(service->isListingRequested());
    capture.releaseHeldCaptures();  // too late: not kept
    rt.runUntilIdle();
    capture.setListingFault(CaptureFault::none);
    EXPECT_TRUE(thumbnail(1));
    EXPECT_EQ(capture.listingCount(), 2u);

    // A screenshot that never answers releases its switcher slot at +5 s.
    capture.setWindowCaptureFault(2, CaptureFault::neverAnswer);
    bool answered = false;
    service->captureSwitcherThumbnail(2, nullptr, [&](auto i) { answered = !i; });
    rt.advance(5);
    EXPECT_TRUE(answered);
    EXPECT_EQ(service->runningSwitcherCaptures(), 0);
}

TEST_F(ThumbnailServiceTest, WithoutScreenRecordingThereAreNoPictures) {
    open(1);
    sim.setScreenRecordingGranted(false);
    EXPECT_FALSE(thumbnail(1));
    EXPECT_FALSE(service->isListingRequested());
}

// A window larger than any pixel count an int holds is asked for at the largest one, and the
// platform scales the picture down to its display's backing store (1440 x 900 at 2x).
TEST_F(ThumbnailServiceTest, AHugeWindowIsAskedForAtAPixelSizeTheRequestHolds) {
    open(1, {0, 0, 1e10, 1e10});
    auto picture = thumbnail(1);
    ASSERT_TRUE(picture);
    ASSERT_EQ(capture.captures().size(), 1u);
    EXPECT_EQ(capture.captures()[0].width, std::numeric_limits<int>::max());
    EXPECT_EQ(picture->width, 1800);
    EXPECT_EQ(picture->height, 1800);
}

}  // namespace
}  // namespace qv::testing
