#pragma once

#include <QString>

#include <functional>

namespace korimado {

// Shows one item selected in the desktop's file manager (its D-Bus interface), or, where no file
// manager answers, opens the folder that holds it.
class FileManagerReveal {
public:
    static void reveal(const QString& path);
    // Tests answer here instead of starting a file manager; an empty handler restores the desktop's.
    static void setHandler(std::function<void(const QString& path)> handler);
};

}  // namespace korimado
