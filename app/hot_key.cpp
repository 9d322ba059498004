#include "app/hot_key.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <vector>

namespace korvan {
namespace {

// The lock keys must not decide whether the combination is seen: each grab is made again with
// Caps Lock, Num Lock and both.
constexpr std::uint16_t kLockVariants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                           XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
constexpr std::uint16_t kModifiersLooked =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;

std::uint16_t X11Modifiers(std::uint8_t modifiers) {
    std::uint16_t mask = 0;
    if ((modifiers & 1) != 0) {
        mask |= XCB_MOD_MASK_SHIFT;
    }
    if ((modifiers & 2) != 0) {
        mask |= XCB_MOD_MASK_1;  // Alt
    }
    if ((modifiers & 4) != 0) {
        mask |= XCB_MOD_MASK_CONTROL;
    }
    return mask;
}

// Printable ASCII characters are their own keysyms; a letter's key carries the lower-case one.
xcb_keysym_t KeysymOf(std::uint8_t code) {
    if (code >= 'A' && code <= 'Z') {
        return code - 'A' + 'a';
    }
    return code;
}

class X11HotKeyGrab final : public HotKeyGrab, public QAbstractNativeEventFilter {
public:
    X11HotKeyGrab() {
        if (auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>()) {
            connection_ = x11->connection();
        }
        if (connection_ != nullptr) {
            root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
            QCoreApplication::instance()->installNativeEventFilter(this);
        }
    }

    ~X11HotKeyGrab() override {
        Unregister();
        if (connection_ != nullptr && QCoreApplication::instance() != nullptr) {
            QCoreApplication::instance()->removeNativeEventFilter(this);
        }
    }

    bool Register(std::uint8_t code, std::uint8_t modifiers) override {
        if (connection_ == nullptr) {
            return false;
        }
        Unregister();
        mask_ = X11Modifiers(modifiers);
        for (xcb_keycode_t keycode : KeycodesOf(KeysymOf(code))) {
            grabbed_.push_back(keycode);
            for (std::uint16_t lock : kLockVariants) {
                const xcb_void_cookie_t cookie = xcb_grab_key_checked(
                    connection_, 1, root_, mask_ | lock, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
                if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
                    std::free(error);  // held by another client, or no such key
                    Unregister();
                    return false;
                }
            }
        }
        return !grabbed_.empty();
    }

    void Unregister() override {
        if (grabbed_.empty()) {
            return;
        }
        for (xcb_keycode_t keycode : grabbed_) {
            for (std::uint16_t lock : kLockVariants) {
                xcb_ungrab_key(connection_, keycode, root_, mask_ | lock);
            }
        }
        xcb_flush(connection_);
        grabbed_.clear();
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (grabbed_.empty() || eventType != "xcb_generic_event_t") {
            return false;
        }
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_KEY_PRESS) {
            return false;
        }
        const auto* press = static_cast<const xcb_key_press_event_t*>(message);
        if (!IsGrabbed(press->detail) || (press->state & kModifiersLooked) != mask_) {
            return false;
        }
        Arrived();
        return true;
    }

private:
    std::vector<xcb_keycode_t> KeycodesOf(xcb_keysym_t keysym) const {
        std::vector<xcb_keycode_t> keycodes;
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection_);
        if (symbols == nullptr) {
            return keycodes;
        }
        if (xcb_keycode_t* found = xcb_key_symbols_get_keycode(symbols, keysym)) {
            for (const xcb_keycode_t* keycode = found; *keycode != XCB_NO_SYMBOL; ++keycode) {
                keycodes.push_back(*keycode);
            }
            std::free(found);
        }
        xcb_key_symbols_free(symbols);
        return keycodes;
    }

    bool IsGrabbed(xcb_keycode_t keycode) const {
        for (xcb_keycode_t held : grabbed_) {
            if (held == keycode) {
                return true;
            }
        }
        return false;
    }

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
    std::uint16_t mask_ = 0;
    std::vector<xcb_keycode_t> grabbed_;  // each with all the lock variants
};

}  // namespace

std::unique_ptr<HotKeyGrab> MakeX11HotKeyGrab() { return std::make_unique<X11HotKeyGrab>(); }

}  // namespace korvan
