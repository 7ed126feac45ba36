#pragma once

#include "platform/foundation/CancellationToken.h"

namespace korimado {

// The token the search engines poll: the program's one cancellation token under the name the
// search code uses. A fresh one per operation; never reset.
using SearchCancellationToken = CancellationToken;
using SearchCancellationTokenPtr = CancellationTokenPtr;

}  // namespace korimado
