#pragma once

// The keyboard's lock-key states, read from the X server (XKB) or from the Linux LED class.
class KeyIndicators {
public:
    // Lock-key bits of state().
    static constexpr unsigned kCapsLock = 1;
    static constexpr unsigned kNumLock = 2;
    static constexpr unsigned kScrollLock = 4;

    // The current lock-key bits; 0 where the state cannot be read.
    static unsigned state();
};
