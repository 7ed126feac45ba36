#pragma once

#include "preview/PreviewBrowser.h"

#include <QString>

namespace korimado {

// Loads the preview's web engine module, once per process, on the first preview shown. Until
// then the program has mapped neither the engine nor an OpenGL driver.
class PreviewEngineLoader {
public:
    PreviewEngineLoader() = delete;

    // The module's factory, or nullptr when it cannot be loaded (see error()). Main thread only.
    static PreviewBrowser::Factory factory();
    static QString error();
    // Where the module is looked for, in order.
    static QStringList searchPaths();
};

}  // namespace korimado
