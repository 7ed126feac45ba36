#include "platform/foundation/MemoryAdvice.h"

#include <sys/mman.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdint>

namespace korimado {

void adviseLargeBuffer(void* data, std::size_t bytes)
{
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t largePage = 2u << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + largePage - 1) & ~(largePage - 1);
    const std::uintptr_t last = (begin + bytes) & ~(largePage - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

void releaseFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

QString reservedString(qsizetype capacity)
{
    QString s;
    s.reserve(capacity);
    constexpr qsizetype large = 2 << 20;  // units: below this no whole large page fits reliably
    if (capacity >= large) adviseLargeBuffer(const_cast<QChar*>(s.constData()), std::size_t(s.capacity()) * sizeof(QChar));
    return s;
}

QByteArray uninitializedBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    constexpr qsizetype large = 4 << 20;
    if (size >= large) adviseLargeBuffer(bytes.data(), std::size_t(size));
    return bytes;
}

}  // namespace korimado
