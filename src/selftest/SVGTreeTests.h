#pragma once

namespace korimado {

// The features suite (SVG preview and file tree). Stand-in: reports that it is not built yet.
class SVGTreeTests {
public:
    SVGTreeTests() = delete;
    // Terminates the application only with "--exit-after-tests".
    static void run();
};

}  // namespace korimado
