#include "app/notifier.h"

#include <QApplication>
#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>

namespace korvan {

AudioTonePlayer::AudioTonePlayer() = default;

AudioTonePlayer::~AudioTonePlayer() { Stop(); }

void AudioTonePlayer::Stop() {
    if (sink_) {
        sink_->stop();
        sink_.reset();
    }
    source_.close();
}

void AudioTonePlayer::Play(std::vector<std::int16_t> samples) {
    Stop();
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        return;
    }
    QAudioFormat format;
    format.setSampleRate(kToneSampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) {
        return;
    }
    pcm_ = QByteArray(reinterpret_cast<const char*>(samples.data()),
                      static_cast<qsizetype>(samples.size() * sizeof(std::int16_t)));
    source_.setData(pcm_);
    source_.open(QIODevice::ReadOnly);
    sink_ = std::make_unique<QAudioSink>(device, format);
    QAudioSink* sink = sink_.get();
    // Played out: give the device back; the sink itself goes at the next sound.
    QObject::connect(sink, &QAudioSink::stateChanged, sink, [sink](QAudio::State state) {
        if (state == QAudio::IdleState) {
            sink->stop();
        }
    });
    sink->start(&source_);
}

void AudioTonePlayer::PlaySystemSound(SystemSound sound) {
    if (sound != SystemSound::None) {
        QApplication::beep();
    }
}

Notifier::Notifier(std::unique_ptr<TonePlayer> player, std::function<void()> flash, bool oldPlatform)
    : player_(std::move(player)), flash_(std::move(flash)), oldPlatform_(oldPlatform) {}

void Notifier::Notify(NotificationEvent event, bool soundOn) {
    const NotificationPlan plan = PlanNotification(event, soundOn, oldPlatform_);
    if (plan.systemSound != SystemSound::None) {
        player_->PlaySystemSound(plan.systemSound);
    }
    if (!plan.tones.empty()) {
        player_->Play(RenderTones(plan.tones, kToneSampleRate));
    }
    if (plan.flash) {
        flash_();
    }
}

}  // namespace korvan
