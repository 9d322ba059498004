#include "app/tone_layout.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace korvan {
namespace {

constexpr double kAmplitude = 0.5 * 32767;  // loud enough to hear, far from clipping
constexpr int kFadeMs = 3;

constexpr int kFailureHz = 410;
constexpr int kFailureMs = 150;
constexpr int kSuccessHz = 2000;
constexpr int kSuccessMs = 30;
constexpr int kSuccessPauseMs = 100;

std::size_t SampleCount(int durationMs, int sampleRate) {
    if (durationMs <= 0 || sampleRate <= 0) {
        return 0;
    }
    return static_cast<std::size_t>(static_cast<std::int64_t>(durationMs) * sampleRate / 1000);
}

}  // namespace

NotificationPlan PlanNotification(NotificationEvent event, bool soundOn, bool oldPlatform) {
    NotificationPlan plan;
    if (event == NotificationEvent::Failure) {
        plan.flash = true;
        if (soundOn && oldPlatform) {
            plan.systemSound = SystemSound::Exclamation;
        } else if (soundOn) {
            plan.tones = {{kFailureHz, kFailureMs}};
        }
        return plan;
    }
    if (soundOn && oldPlatform) {
        plan.systemSound = SystemSound::Default;
    } else if (soundOn) {
        plan.tones = {{kSuccessHz, kSuccessMs}, {0, kSuccessPauseMs}, {kSuccessHz, kSuccessMs},
                      {0, kSuccessPauseMs}, {kSuccessHz, kSuccessMs}};
    }
    return plan;
}

std::vector<std::int16_t> ToneSamples(int frequencyHz, int durationMs, int sampleRate) {
    const std::size_t count = SampleCount(durationMs, sampleRate);
    std::vector<std::int16_t> samples(count, 0);
    if (frequencyHz <= 0) {
        return samples;
    }
    // The fade never takes more than a third of a short tone at each end.
    const std::size_t fade = std::min(SampleCount(kFadeMs, sampleRate), count / 3);
    const double step = 2 * std::numbers::pi * frequencyHz / sampleRate;
    for (std::size_t i = 0; i < count; ++i) {
        double gain = 1.0;
        const std::size_t fromEnd = count - 1 - i;
        if (fade > 0 && std::min(i, fromEnd) < fade) {
            gain = static_cast<double>(std::min(i, fromEnd)) / static_cast<double>(fade);
        }
        samples[i] = static_cast<std::int16_t>(std::lround(kAmplitude * gain * std::sin(step * static_cast<double>(i))));
    }
    return samples;
}

std::vector<std::int16_t> RenderTones(const std::vector<ToneStep>& steps, int sampleRate) {
    std::vector<std::int16_t> stream;
    for (const ToneStep& step : steps) {
        const std::vector<std::int16_t> samples = ToneSamples(step.frequencyHz, step.durationMs, sampleRate);
        stream.insert(stream.end(), samples.begin(), samples.end());
    }
    return stream;
}

}  // namespace korvan
