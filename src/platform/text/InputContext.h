#pragma once

#include <Qt>

namespace korimado {

// The input method the text views speak to: the platform's, or a stand-in a test installs.
class InputContext {
public:
    virtual ~InputContext() = default;

    // Asks the input method to hand over its composition: it may do so at once (an input-method
    // event inside this call), later, or not at all.
    virtual void commit();
    // Ends the input method's composition; some commit it (now or later), some drop it.
    virtual void reset();
    // The view's caret, selection or surroundings changed.
    virtual void update(Qt::InputMethodQueries queries);

    static InputContext& current();
    // nullptr brings back the platform's.
    static void setCurrent(InputContext* context);
};

}  // namespace korimado
