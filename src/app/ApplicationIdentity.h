#pragma once

#include "platform/foundation/Bundle.h"

namespace korimado {

// The program's identity, given to the platform layer first thing by the program, its tests and its
// benchmarks.
inline BundleConfiguration applicationBundleConfiguration()
{
    return {QStringLiteral("app.korimado.Korimado"), QStringLiteral("Korimado"), QStringLiteral("Korimado"),
            {QStringLiteral("ja")}};
}

}  // namespace korimado
