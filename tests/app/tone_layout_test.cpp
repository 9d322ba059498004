#include "app/tone_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace korvan {
namespace {

// Rising zero crossings over the whole tone, scaled to one second.
double MeasuredFrequency(const std::vector<std::int16_t>& samples, int sampleRate) {
    int rising = 0;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        if (samples[i - 1] < 0 && samples[i] >= 0) {
            ++rising;
        }
    }
    return rising * static_cast<double>(sampleRate) / static_cast<double>(samples.size());
}

int Peak(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t to) {
    int peak = 0;
    for (std::size_t i = from; i < to; ++i) {
        peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
    }
    return peak;
}

TEST(ToneLayout, SamplesHaveTheFrequencyAndTheLengthAskedFor) {
    struct Case {
        int hz;
        int ms;
        int rate;
    };
    for (const Case c : {Case{410, 150, 44100}, Case{2000, 30, 44100}, Case{2000, 30, 48000}, Case{1000, 500, 8000}}) {
        SCOPED_TRACE(testing::Message() << c.hz << " Hz, " << c.ms << " ms at " << c.rate);
        const std::vector<std::int16_t> samples = ToneSamples(c.hz, c.ms, c.rate);
        ASSERT_EQ(samples.size(), static_cast<std::size_t>(c.ms * c.rate / 1000));
        // One crossing may fall off either end of a short tone.
        EXPECT_NEAR(MeasuredFrequency(samples, c.rate), c.hz, 1000.0 / c.ms);
    }
}

TEST(ToneLayout, TheEndsFadeAndTheMiddleIsLoudWithoutClipping) {
    const std::vector<std::int16_t> samples = ToneSamples(410, 150, kToneSampleRate);
    const std::size_t oneMs = kToneSampleRate / 1000;
    const int middle = Peak(samples, samples.size() / 3, 2 * samples.size() / 3);
    EXPECT_GT(middle, 8000);
    EXPECT_LT(middle, 32767);
    EXPECT_EQ(samples.front(), 0);
    EXPECT_LT(std::abs(static_cast<int>(samples.back())), 200);
    EXPECT_LT(Peak(samples, 0, oneMs), middle / 2);
    EXPECT_LT(Peak(samples, samples.size() - oneMs, samples.size()), middle / 2);

    // Even 1 ms keeps both fades inside it and stays a tone.
    const std::vector<std::int16_t> blip = ToneSamples(2000, 1, kToneSampleRate);
    ASSERT_EQ(blip.size(), static_cast<std::size_t>(kToneSampleRate / 1000));
    EXPECT_GT(Peak(blip, 0, blip.size()), 0);
}

TEST(ToneLayout, SilenceAndNothing) {
    const std::vector<std::int16_t> pause = ToneSamples(0, 100, kToneSampleRate);
    EXPECT_EQ(pause.size(), 4410u);
    EXPECT_EQ(Peak(pause, 0, pause.size()), 0);
    EXPECT_TRUE(ToneSamples(410, 0, kToneSampleRate).empty());
    EXPECT_TRUE(ToneSamples(410, -5, kToneSampleRate).empty());
    EXPECT_TRUE(ToneSamples(410, 150, 0).empty());
}

TEST(ToneLayout, TheSuccessStreamIsThreeShortTonesWithTheirPausesBetween) {
    const NotificationPlan plan = PlanNotification(NotificationEvent::Success, true, false);
    const std::vector<std::int16_t> stream = RenderTones(plan.tones, kToneSampleRate);
    const auto at = [](std::size_t ms) { return ms * kToneSampleRate / 1000; };
    ASSERT_EQ(stream.size(), at(290));
    // Sound where the tones are (0, 130, 260 ms), silence in the pauses.
    for (std::size_t startMs : {0u, 130u, 260u}) {
        EXPECT_GT(Peak(stream, at(startMs + 10), at(startMs + 20)), 8000) << startMs;
    }
    for (std::size_t pauseMs : {30u, 160u}) {
        EXPECT_EQ(Peak(stream, at(pauseMs), at(pauseMs + 100)), 0) << pauseMs;
    }
}

TEST(ToneLayout, ThePlanForEachEventSwitchAndPlatform) {
    const std::vector<ToneStep> low = {{410, 150}};
    const std::vector<ToneStep> high = {{2000, 30}, {0, 100}, {2000, 30}, {0, 100}, {2000, 30}};
    struct Case {
        NotificationEvent event;
        bool soundOn;
        bool oldPlatform;
        std::vector<ToneStep> tones;
        SystemSound systemSound;
        bool flash;
    };
    const Case cases[] = {
        {NotificationEvent::Failure, true, false, low, SystemSound::None, true},
        {NotificationEvent::Failure, false, false, {}, SystemSound::None, true},
        {NotificationEvent::Failure, true, true, {}, SystemSound::Exclamation, true},
        {NotificationEvent::Failure, false, true, {}, SystemSound::None, true},
        {NotificationEvent::Success, true, false, high, SystemSound::None, false},
        {NotificationEvent::Success, false, false, {}, SystemSound::None, false},
        {NotificationEvent::Success, true, true, {}, SystemSound::Default, false},
        {NotificationEvent::Success, false, true, {}, SystemSound::None, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.event == NotificationEvent::Success ? "success" : "failure")
                                        << " sound " << c.soundOn << " old " << c.oldPlatform);
        const NotificationPlan plan = PlanNotification(c.event, c.soundOn, c.oldPlatform);
        EXPECT_EQ(plan.tones, c.tones);
        EXPECT_EQ(plan.systemSound, c.systemSound);
        EXPECT_EQ(plan.flash, c.flash);
    }
}

}  // namespace
}  // namespace korvan
