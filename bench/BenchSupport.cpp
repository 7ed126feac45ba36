#include "BenchSupport.h"

#include "app/ApplicationIdentity.h"

#include <QFile>

namespace korimado::bench {

namespace {

// Every benchmark is the program as far as its identity goes; set before its main runs.
[[maybe_unused]] const bool configured = (Bundle::configure(applicationBundleConfiguration()), true);

}  // namespace

QString generateMixedText(qsizetype units, bool emoji)
{
    static const char16_t* const japanese[] = {
        u"吾輩は猫である。名前はまだ無い。",
        u"どこで生れたかとんと見当がつかぬ。",
        u"何でも薄暗いじめじめした所でニャーニャー泣いていた事だけは記憶している。",
        u"カタカナとひらがな、そして漢字が混ざった行です。",
    };
    static const char* const ascii[] = {
        "int main(int argc, char** argv) { return run(argc, argv); }",
        "The quick brown fox jumps over the lazy dog 0123456789.",
        "    for (size_t i = 0; i < items.size(); ++i) total += items[i];",
        "// A comment line with some words in it.",
    };
    QString text;
    text.reserve(units + 256);
    quint32 seed = 12345;
    auto next = [&seed] { seed = seed * 1664525u + 1013904223u; return seed >> 8; };
    while (text.size() < units) {
        const quint32 r = next();
        switch (r % 3) {
        case 0: text += QString::fromUtf16(japanese[(r >> 4) % 4]); break;
        case 1: text += QString::fromLatin1(ascii[(r >> 4) % 4]); break;
        default:
            text += QString::fromLatin1(ascii[(r >> 4) % 4]).left(20);
            text += QString::fromUtf16(japanese[(r >> 6) % 4]);
            if (emoji) text += QString::fromUtf16(u"😀👍🏽");
            break;
        }
        text += QChar('\n');
    }
    text.truncate(units);
    return text;
}

double peakRssMb()
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
        }
    }
    return 0;
}

double loadAverage()
{
    QFile f("/proc/loadavg");
    if (!f.open(QIODevice::ReadOnly)) return 0;
    return f.readAll().split(' ').value(0).toDouble();
}

}  // namespace korimado::bench
