#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace korvan {

// One system-wide key combination that reaches the program whichever application has the
// focus. The key and modifier bytes are those of the settings record (see hot_key_layout.h).
class HotKeyGrab {
public:
    virtual ~HotKeyGrab() = default;

    // Catches the combination; false when the desktop does not allow it (then nothing is held).
    virtual bool Register(std::uint8_t code, std::uint8_t modifiers) = 0;
    // Lets go of what Register caught; nothing when nothing is held.
    virtual void Unregister() = 0;

    // Called on the window thread each time the combination is pressed.
    void SetArrival(std::function<void()> arrival) { arrival_ = std::move(arrival); }

protected:
    void Arrived() const {
        if (arrival_) {
            arrival_();
        }
    }

private:
    std::function<void()> arrival_;
};

// The grab on the X11 root window, fed by the application's native events. Register answers
// false where there is no X11 connection (the offscreen platform, Wayland). Needs the
// QGuiApplication to exist.
std::unique_ptr<HotKeyGrab> MakeX11HotKeyGrab();

}  // namespace korvan
