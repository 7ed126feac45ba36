#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstddef>

namespace korimado {

// Tells the system that a freshly allocated buffer of many megabytes is about to be filled, so
// that it is backed by large pages where the system offers them: touching it then costs a few
// page faults instead of one per 4 KiB, which dominates filling such a buffer on virtual machines.
// Only the 2 MiB-aligned interior is advised; the call changes no byte and may do nothing.
void adviseLargeBuffer(void* data, std::size_t bytes);

// Gives back to the system the pages of memory freed in every thread's heap. glibc keeps a freed
// block of many megabytes in the heap it came from (after the first such block it stops mapping
// them apart), so workers that each took a large file would keep them all resident. Costs a walk
// of the free blocks: call it after work on a large buffer, not after every small one.
void releaseFreedMemory();

// An empty string with room for capacity units, its storage advised as above when it is large.
QString reservedString(qsizetype capacity);

// size bytes left as they come, advised as above when they are many: writing a file from small
// pages costs as much again as filling them.
QByteArray uninitializedBytes(qsizetype size);

// Makes room for one more item at the end of a list that only grows there. A list of many
// megabytes doubles its room ahead of Qt's growth, and the new room is advised as above before it
// is touched: hundreds of thousands of results otherwise cost a page fault every few dozen.
template <typename T>
void makeRoomAtEnd(QList<T>& list)
{
    constexpr qsizetype large = qsizetype(1) << 20;  // bytes
    const qsizetype size = list.size();
    if (size < list.capacity() || qsizetype(sizeof(T)) * size < large) return;
    list.reserve(2 * size);
    // The list was only appended to, so its room starts at the first item.
    adviseLargeBuffer(list.data() + size, std::size_t(list.capacity() - size) * sizeof(T));
}

}  // namespace korimado
