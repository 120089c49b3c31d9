// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/lock_keys.h"

#include <QGuiApplication>

#ifdef ZELK_HAVE_X11
#include <array>
#include <X11/XKBlib.h>
#endif

namespace zelk {

#ifdef ZELK_HAVE_X11
namespace {

// The keyboard extension's named indicators; their numbers differ between keymaps, so they
// are looked up once by name.
struct Indicators {
    Display* display = nullptr;
    std::array<int, 3> index{-1, -1, -1};
};

Indicators FindIndicators(Display* display) {
    Indicators found;
    found.display = display;
    const char* names[] = {"Caps Lock", "Num Lock", "Scroll Lock"};
    for (std::size_t i = 0; i < found.index.size(); ++i) {
        const Atom name = XInternAtom(display, names[i], False);
        int index = -1;
        if (name != None &&
            XkbGetNamedIndicator(display, name, &index, nullptr, nullptr, nullptr) == True) {
            found.index[i] = index;
        }
    }
    return found;
}

} // namespace

std::optional<LockKeyState> ReadLockKeys() {
    const auto* x11 = qGuiApp != nullptr
                          ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                          : nullptr;
    Display* display = x11 != nullptr ? x11->display() : nullptr;
    if (display == nullptr) {
        return std::nullopt;
    }
    static Indicators indicators;
    if (indicators.display != display) {
        indicators = FindIndicators(display);
    }
    unsigned int lit = 0;
    if (XkbGetIndicatorState(display, XkbUseCoreKbd, &lit) != Success) {
        return std::nullopt;
    }
    const auto on = [lit](int index) { return index >= 0 && (lit & (1u << index)) != 0; };
    return LockKeyState{on(indicators.index[0]), on(indicators.index[1]), on(indicators.index[2])};
}

#else

std::optional<LockKeyState> ReadLockKeys() {
    return std::nullopt;
}

#endif

} // namespace zelk
