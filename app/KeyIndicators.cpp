#include "app/KeyIndicators.h"
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <dlfcn.h>

namespace {

// XkbGetIndicatorState from libX11, looked up at run time so that the program needs no X11 headers.
using XkbGetIndicatorStateFn = int (*)(void* display, unsigned int deviceSpec, unsigned int* state);
constexpr unsigned kXkbUseCoreKbd = 0x0100;

XkbGetIndicatorStateFn xkbIndicatorFunction()
{
    static XkbGetIndicatorStateFn fn = [] {
        void* lib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
        if (!lib)
            lib = dlopen("libX11.so.6", RTLD_LAZY);
        return lib ? reinterpret_cast<XkbGetIndicatorStateFn>(dlsym(lib, "XkbGetIndicatorState")) : nullptr;
    }();
    return fn;
}

bool readX11(unsigned& bits)
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->display())
        return false;
    XkbGetIndicatorStateFn fn = xkbIndicatorFunction();
    unsigned int state = 0;
    if (!fn || fn(x11->display(), kXkbUseCoreKbd, &state) != 0)
        return false;
    // The core keyboard's indicators in their usual order: Caps Lock, Num Lock, Scroll Lock.
    bits = state & 7u;
    return true;
}

bool readLeds(unsigned& bits)
{
    const QDir leds(QStringLiteral("/sys/class/leds"));
    if (!leds.exists())
        return false;
    bool found = false;
    const struct {
        const char* suffix;
        unsigned bit;
    } kinds[] = {{"capslock", KeyIndicators::kCapsLock},
                 {"numlock", KeyIndicators::kNumLock},
                 {"scrolllock", KeyIndicators::kScrollLock}};
    for (const QString& name : leds.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        for (const auto& kind : kinds) {
            if (!name.endsWith(QLatin1String(kind.suffix)))
                continue;
            QFile f(leds.filePath(name + QStringLiteral("/brightness")));
            if (!f.open(QIODevice::ReadOnly))
                continue;
            found = true;
            if (f.readAll().trimmed().toInt() > 0)
                bits |= kind.bit;
        }
    }
    return found;
}

} // namespace

unsigned KeyIndicators::state()
{
    unsigned bits = 0;
    if (readX11(bits))
        return bits;
    bits = 0;
    readLeds(bits);
    return bits;
}
