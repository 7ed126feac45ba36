#pragma once

#include "platform/text/CharacterClusters.h"

namespace korimado {

// The characters scripts count are the text system's clusters.
using ScriptCharacters = CharacterClusters;

}  // namespace korimado
