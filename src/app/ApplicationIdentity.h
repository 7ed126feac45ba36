#pragma once

#include "platform/foundation/Bundle.h"
#include "platform/wire/EventBusNames.h"

namespace korimado {

// The program's identity, given to the platform layer first thing by the program, its tests and its
// benchmarks.
inline BundleConfiguration applicationBundleConfiguration()
{
    // The command-line client finds the program by the same names, without Qt.
    const QString name = QStringLiteral("Korimado");
    return {QString::fromLatin1(wire::EventBusNames::programIdentifier),
            QString::fromLatin1(wire::EventBusNames::dataFolderName), name, {QStringLiteral("ja")}, name};
}

}  // namespace korimado
