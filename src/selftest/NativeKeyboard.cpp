#include "selftest/NativeKeyboard.h"

#include <QGuiApplication>

#include <dlfcn.h>

namespace korimado {

namespace {

constexpr unsigned long controlKeysym = 0xffe3;  // Control_L

}  // namespace

// The few X calls this needs, resolved from the system's libraries at run time.
struct NativeKeyboard::Library {
    void* x11 = nullptr;
    void* xtst = nullptr;
    void* display = nullptr;
    void* (*openDisplay)(const char*) = nullptr;
    int (*closeDisplay)(void*) = nullptr;
    unsigned char (*keysymToKeycode)(void*, unsigned long) = nullptr;
    int (*sync)(void*, int) = nullptr;
    int (*queryExtension)(void*, int*, int*, int*, int*) = nullptr;
    int (*fakeKey)(void*, unsigned int, int, unsigned long) = nullptr;

    ~Library()
    {
        if (display && closeDisplay) closeDisplay(display);
        if (xtst) dlclose(xtst);
        if (x11) dlclose(x11);
    }

    template <typename F>
    static bool resolve(void* library, const char* name, F& function)
    {
        function = reinterpret_cast<F>(dlsym(library, name));
        return function != nullptr;
    }
};

std::unique_ptr<NativeKeyboard> NativeKeyboard::open()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto x = std::make_unique<Library>();
    x->x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    x->xtst = dlopen("libXtst.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!x->x11 || !x->xtst) return nullptr;
    if (!Library::resolve(x->x11, "XOpenDisplay", x->openDisplay) || !Library::resolve(x->x11, "XCloseDisplay", x->closeDisplay)
        || !Library::resolve(x->x11, "XKeysymToKeycode", x->keysymToKeycode) || !Library::resolve(x->x11, "XSync", x->sync)
        || !Library::resolve(x->xtst, "XTestQueryExtension", x->queryExtension)
        || !Library::resolve(x->xtst, "XTestFakeKeyEvent", x->fakeKey))
        return nullptr;
    // A connection of its own: the events go to the server, whichever client sends them.
    x->display = x->openDisplay(nullptr);
    int event = 0, error = 0, major = 0, minor = 0;
    if (!x->display || !x->queryExtension(x->display, &event, &error, &major, &minor)) return nullptr;
    return std::unique_ptr<NativeKeyboard>(new NativeKeyboard(std::move(x)));
}

NativeKeyboard::NativeKeyboard(std::unique_ptr<Library> library) : x_(std::move(library)) {}

NativeKeyboard::~NativeKeyboard() = default;

bool NativeKeyboard::press(unsigned long keysym, bool control)
{
    const unsigned int code = x_->keysymToKeycode(x_->display, keysym);
    const unsigned int controlCode = x_->keysymToKeycode(x_->display, controlKeysym);
    if (code == 0 || (control && controlCode == 0)) return false;
    if (control) x_->fakeKey(x_->display, controlCode, 1, 0);
    x_->fakeKey(x_->display, code, 1, 0);
    x_->fakeKey(x_->display, code, 0, 0);
    if (control) x_->fakeKey(x_->display, controlCode, 0, 0);
    x_->sync(x_->display, 0);
    return true;
}

}  // namespace korimado
