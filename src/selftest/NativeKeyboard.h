#pragma once

#include <memory>

namespace korimado {

// Keys pressed through the X server's test extension, as a keyboard would press them: they reach
// whichever window has the focus and pass through the system input method on the way. The X
// libraries are loaded when first asked, so a program without a display never needs them.
class NativeKeyboard {
public:
    // Null without an X display or where the server lacks the test extension.
    static std::unique_ptr<NativeKeyboard> open();
    ~NativeKeyboard();

    // A press and release of the key that types the keysym, with Control held around it when asked.
    bool press(unsigned long keysym, bool control = false);

private:
    struct Library;
    explicit NativeKeyboard(std::unique_ptr<Library> library);
    std::unique_ptr<Library> x_;
};

}  // namespace korimado
