// Opening and saving a 64 MiB UTF-8 file through the text document, without a window.
#include "BenchSupport.h"

#include "document/KoriDocument.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <vector>

using namespace korimado;
using namespace korimado::bench;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath("big.txt");

    // A mixed Japanese and ASCII text cut at a line end just under 64 MiB of UTF-8.
    QByteArray bytes = generateMixedText(40 * 1024 * 1024, false).toUtf8();
    const qsizetype limit = KoriDocument::maximumFileSize;
    while (bytes.size() < limit) bytes += bytes.left(std::min<qsizetype>(bytes.size(), limit - bytes.size()));
    bytes.truncate(bytes.lastIndexOf('\n', limit - 1) + 1);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) return 1;
    }

    constexpr int runs = 5;
    std::vector<double> opens;
    std::vector<double> saves;
    for (int run = 0; run < runs; ++run) {
        Stopwatch openWatch;
        KoriDocument document;
        ErrorInfo error;
        if (!document.readFromURL(path, KoriDocument::plainTextType, &error)) return 2;
        document.setFileURL(path);
        opens.push_back(openWatch.ms());

        // An edit makes the save encode afresh instead of writing the bytes read.
        document.storage().replaceCharacters(TextRange{0, 0}, QStringLiteral("x"));
        document.noteEdit();
        Stopwatch saveWatch;
        if (!document.saveToURL(path, KoriDocument::plainTextType, Document::SaveOperation::save, &error)) return 3;
        saves.push_back(saveWatch.ms());
        // Put the file back as it was for the next run.
        document.storage().replaceCharacters(TextRange{0, 1}, QString());
        if (!document.saveToURL(path, KoriDocument::plainTextType, Document::SaveOperation::save, &error)) return 4;
    }
    report("file_mib", static_cast<double>(bytes.size()) / (1024.0 * 1024.0));
    report("open_64mib_ms", percentile(opens, 50));
    report("save_64mib_ms", percentile(saves, 50));
    report("peak_rss_mb", peakRssMb());
    return 0;
}
