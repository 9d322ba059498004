#pragma once

#include <QBuffer>
#include <QByteArray>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/tone_layout.h"

class QAudioSink;

namespace korvan {

// Plays a notification's sound. Both calls return at once; a new sound replaces one that
// is still playing.
class TonePlayer {
public:
    virtual ~TonePlayer() = default;
    // 16-bit mono samples at kToneSampleRate.
    virtual void Play(std::vector<std::int16_t> samples) = 0;
    virtual void PlaySystemSound(SystemSound sound) = 0;
};

// The desktop's default audio output through Qt Multimedia. Qt pulls the samples from a
// buffer on its own schedule, so the window thread only starts the sink. Without an output
// device, or one that cannot take the format, it stays silent.
class AudioTonePlayer final : public TonePlayer {
public:
    AudioTonePlayer();
    ~AudioTonePlayer() override;

    void Play(std::vector<std::int16_t> samples) override;
    // The desktop's bell stands for every message sound.
    void PlaySystemSound(SystemSound sound) override;

private:
    void Stop();

    QByteArray pcm_;
    QBuffer source_;
    std::unique_ptr<QAudioSink> sink_;
};

// Tells the operator how a sequence ended: the plan for the event played through the
// player, and the window flashed when the plan says so.
class Notifier {
public:
    // `oldPlatform` chooses the system sounds over the tones; no desktop this runs on has it.
    Notifier(std::unique_ptr<TonePlayer> player, std::function<void()> flash, bool oldPlatform = false);

    void Notify(NotificationEvent event, bool soundOn);

private:
    std::unique_ptr<TonePlayer> player_;
    std::function<void()> flash_;
    bool oldPlatform_;
};

}  // namespace korvan
