// Notifications through a recording player, and the real player's promise not to wait.
#include "app/notifier.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

using korvan::NotificationEvent;
using korvan::SystemSound;

struct Played {
    std::vector<std::vector<std::int16_t>> streams;
    std::vector<SystemSound> systemSounds;
    int flashes = 0;
};

class RecordingPlayer final : public korvan::TonePlayer {
public:
    explicit RecordingPlayer(Played& played) : played_(played) {}
    void Play(std::vector<std::int16_t> samples) override { played_.streams.push_back(std::move(samples)); }
    void PlaySystemSound(SystemSound sound) override { played_.systemSounds.push_back(sound); }

private:
    Played& played_;
};

korvan::Notifier RecordingNotifier(Played& played, bool oldPlatform) {
    return korvan::Notifier(std::make_unique<RecordingPlayer>(played), [&played] { ++played.flashes; }, oldPlatform);
}

constexpr std::size_t SamplesFor(int ms) { return static_cast<std::size_t>(ms) * korvan::kToneSampleRate / 1000; }

class NotifierTest : public QObject {
    Q_OBJECT

private slots:
    void eachNotificationPlaysItsSoundAndFlashesOnFailureOnly();
    void theOldPlatformUsesTheSystemSounds();
    void theDesktopPlayerReturnsBeforeTheSoundEnds();
};

void NotifierTest::eachNotificationPlaysItsSoundAndFlashesOnFailureOnly() {
    Played played;
    korvan::Notifier notifier = RecordingNotifier(played, false);

    notifier.Notify(NotificationEvent::Failure, true);
    QCOMPARE(played.streams.size(), 1u);
    QCOMPARE(played.streams[0].size(), SamplesFor(150));
    QCOMPARE(played.flashes, 1);

    notifier.Notify(NotificationEvent::Success, true);
    QCOMPARE(played.streams.size(), 2u);
    QCOMPARE(played.streams[1].size(), SamplesFor(290));
    QCOMPARE(played.flashes, 1);

    // Sound off: the failure still flashes, the success does nothing.
    notifier.Notify(NotificationEvent::Failure, false);
    notifier.Notify(NotificationEvent::Success, false);
    QCOMPARE(played.streams.size(), 2u);
    QCOMPARE(played.flashes, 2);
    QVERIFY(played.systemSounds.empty());
}

void NotifierTest::theOldPlatformUsesTheSystemSounds() {
    Played played;
    korvan::Notifier notifier = RecordingNotifier(played, true);
    notifier.Notify(NotificationEvent::Failure, true);
    notifier.Notify(NotificationEvent::Success, true);
    notifier.Notify(NotificationEvent::Failure, false);
    notifier.Notify(NotificationEvent::Success, false);
    QVERIFY(played.streams.empty());
    QCOMPARE(played.systemSounds, (std::vector<SystemSound>{SystemSound::Exclamation, SystemSound::Default}));
    QCOMPARE(played.flashes, 2);
}

// With or without an output device the window thread only starts the sound: each call,
// including one that replaces a sound still playing, comes back well inside the 290 ms the
// success tones last.
void NotifierTest::theDesktopPlayerReturnsBeforeTheSoundEnds() {
    int flashes = 0;
    korvan::Notifier notifier(std::make_unique<korvan::AudioTonePlayer>(), [&flashes] { ++flashes; });
    notifier.Notify(NotificationEvent::Success, true);  // the audio system's first use is set-up, not waiting
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer elapsed;
        elapsed.start();
        notifier.Notify(NotificationEvent::Success, true);
        notifier.Notify(NotificationEvent::Failure, true);
        QVERIFY2(elapsed.elapsed() < 200, QByteArray::number(elapsed.elapsed()) + " ms");
        QTest::qWait(50);  // let the sink run a little before it is replaced
    }
    QCOMPARE(flashes, 3);
}

}  // namespace

QTEST_MAIN(NotifierTest)
#include "notifier_test.moc"
