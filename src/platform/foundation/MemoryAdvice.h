#pragma once

#include <QString>

#include <cstddef>

namespace korimado {

// Tells the system that a freshly allocated buffer of many megabytes is about to be filled, so
// that it is backed by large pages where the system offers them: touching it then costs a few
// page faults instead of one per 4 KiB, which dominates filling such a buffer on virtual machines.
// Only the 2 MiB-aligned interior is advised; the call changes no byte and may do nothing.
void adviseLargeBuffer(void* data, std::size_t bytes);

// An empty string with room for capacity units, its storage advised as above when it is large.
QString reservedString(qsizetype capacity);

}  // namespace korimado
