#pragma once

// Shared by the fuzz targets: a check that stops the run, the input as Qt values, a scratch folder.

#include <QByteArray>
#include <QDir>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <stdlib.h>

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

namespace korimado::fuzz {

inline QByteArray bytes(const std::uint8_t* data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// A text in which every line break, lone surrogates and ordinary characters are all likely: each
// byte picks one unit.
inline QString breakyText(const std::uint8_t* data, std::size_t size)
{
    static const char16_t alphabet[] = {u'a', u'\n', u'\r', 0x0085, 0x2028, 0x2029, u' ', 0x00E9,
                                        0xD83D, 0xDE00, 0x3042, u'\t', 0x000B, 0x000C, u'\r', u'\n'};
    QString text;
    text.reserve(static_cast<qsizetype>(size));
    for (std::size_t i = 0; i < size; ++i) text.append(QChar(alphabet[data[i] % std::size(alphabet)]));
    return text;
}

// A folder of this process for files a target must write; scripts/fuzz points TMPDIR at a folder
// it removes afterwards.
inline const QString& scratchFolder()
{
    static const QString folder = [] {
        QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/korimado-fuzz-XXXXXX";
        const char* made = ::mkdtemp(pattern.data());
        if (!made) std::abort();
        return QString::fromLocal8Bit(made);
    }();
    return folder;
}

}  // namespace korimado::fuzz
