#pragma once

#include <cstdint>
#include <vector>

namespace korvan {

// The rate every notification is played at: 16-bit mono.
constexpr int kToneSampleRate = 44100;

// One piece of a notification's sound: a tone, or silence when frequencyHz is 0.
struct ToneStep {
    int frequencyHz = 0;
    int durationMs = 0;

    friend bool operator==(const ToneStep&, const ToneStep&) = default;
};

// The platform's own message sounds, used instead of tones on the old platform.
enum class SystemSound { None, Exclamation, Default };

enum class NotificationEvent { Success, Failure };

// What one notification does: tones (or a system sound) and whether the window flashes.
struct NotificationPlan {
    std::vector<ToneStep> tones;
    SystemSound systemSound = SystemSound::None;
    bool flash = false;
};

// Failure: one 410 Hz tone of 150 ms (or the exclamation sound) and a flash, the flash even
// with the sound off. Success: three 2000 Hz tones of 30 ms with 100 ms of silence between
// (or the default sound), no flash, nothing with the sound off.
NotificationPlan PlanNotification(NotificationEvent event, bool soundOn, bool oldPlatform);

// A sine tone of `durationMs` at `sampleRate`, its ends faded over a few milliseconds so the
// speaker does not click. A frequency of 0 gives silence of that length.
std::vector<std::int16_t> ToneSamples(int frequencyHz, int durationMs, int sampleRate);

// The steps one after the other, as one stream.
std::vector<std::int16_t> RenderTones(const std::vector<ToneStep>& steps, int sampleRate);

}  // namespace korvan
