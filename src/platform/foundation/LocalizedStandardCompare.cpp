#include "platform/foundation/LocalizedStandardCompare.h"

#include <unicode/coll.h>
#include <unicode/locid.h>

#include <algorithm>
#include <memory>

namespace korimado {

namespace {

// Collators are not thread-safe: one per thread, made on first use.
icu::Collator* threadCollator()
{
    thread_local std::unique_ptr<icu::Collator> collator = [] {
        UErrorCode status = U_ZERO_ERROR;
        // The "C" locale names no language: order as the root locale does, not by code point.
        icu::Locale locale = icu::Locale::getDefault();
        if (QLatin1String(locale.getName()).startsWith(QLatin1String("en_US_POSIX"))) locale = icu::Locale::getRoot();
        std::unique_ptr<icu::Collator> made(icu::Collator::createInstance(locale, status));
        if (U_FAILURE(status) || !made) return std::unique_ptr<icu::Collator>();
        made->setStrength(icu::Collator::SECONDARY);
        made->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
        return made;
    }();
    return collator.get();
}

}  // namespace

int localizedStandardCompare(const QString& a, const QString& b)
{
    if (icu::Collator* collator = threadCollator()) {
        UErrorCode status = U_ZERO_ERROR;
        const UCollationResult result =
            collator->compare(reinterpret_cast<const UChar*>(a.utf16()), static_cast<int32_t>(a.size()),
                              reinterpret_cast<const UChar*>(b.utf16()), static_cast<int32_t>(b.size()), status);
        if (U_SUCCESS(status) && result != UCOL_EQUAL) return result == UCOL_LESS ? -1 : 1;
    }
    return a.compare(b);
}

QByteArray localizedStandardSortKey(const QString& s)
{
    icu::Collator* collator = threadCollator();
    if (!collator) return s.toUtf8();
    const auto* units = reinterpret_cast<const UChar*>(s.utf16());
    const auto length = static_cast<int32_t>(s.size());
    QByteArray key(std::max<qsizetype>(64, s.size() * 3), Qt::Uninitialized);
    int32_t needed = collator->getSortKey(units, length, reinterpret_cast<uint8_t*>(key.data()),
                                          static_cast<int32_t>(key.size()));
    if (needed > key.size()) {
        key.resize(needed);
        needed = collator->getSortKey(units, length, reinterpret_cast<uint8_t*>(key.data()), needed);
    }
    key.resize(needed > 0 ? needed - 1 : 0);  // the key's own terminator stays in the buffer
    return key;
}

int32_t localizedStandardSortKey(QStringView s, uint8_t* buffer, int32_t capacity)
{
    icu::Collator* collator = threadCollator();
    const auto* units = reinterpret_cast<const UChar*>(s.utf16());
    const auto length = static_cast<int32_t>(s.size());
    if (!collator) {
        // Without a collator the code units order the strings.
        const int32_t needed = length * 2 + 1;
        for (int32_t i = 0; i < length && 2 * i + 1 < capacity; ++i) {
            buffer[2 * i] = static_cast<uint8_t>(units[i] >> 8);
            buffer[2 * i + 1] = static_cast<uint8_t>(units[i]);
        }
        if (needed <= capacity) buffer[needed - 1] = 0;
        return needed;
    }
    return collator->getSortKey(units, length, buffer, capacity);
}

}  // namespace korimado
