// Opening and saving a 64 MiB UTF-8 file through the text document, without a window, beside cp
// and sync writing the same bytes; and how long one timer autosave of a 20 MiB document holds the main thread.
#include "BenchSupport.h"

#include "document/KoriDocument.h"
#include "platform/documents/DocumentController.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <vector>

using namespace korimado;
using namespace korimado::bench;

namespace {

class BenchController : public DocumentController {
public:
    QString defaultType() const override { return KoriDocument::plainTextType; }
    std::unique_ptr<Document> makeDocument(const QString&) override { return std::make_unique<KoriDocument>(); }
};

bool benchAutosave(const QTemporaryDir& dir)
{
    const QString path = dir.filePath("autosaved.txt");
    QByteArray bytes = generateMixedText(20 * 1024 * 1024, false).toUtf8();
    constexpr qsizetype limit = 20 * 1024 * 1024;
    bytes.truncate(bytes.lastIndexOf('\n', limit - 1) + 1);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) return false;
    }
    BenchController controller;
    Document* opened = nullptr;
    controller.openDocument(path, false, [&](Document* document, bool, auto) { opened = document; });
    auto* document = static_cast<KoriDocument*>(opened);
    if (!document) return false;

    constexpr int runs = 5;
    std::vector<double> blocks;
    for (int run = 0; run < runs; ++run) {
        // A keystroke, so that the autosave encodes afresh, as it does while the user types.
        document->storage().replaceCharacters(TextRange{0, 0}, QStringLiteral("x"));
        document->updateChangeCount(Document::ChangeType::done);
        Stopwatch block;
        controller.autosaveAllDocuments();
        blocks.push_back(block.ms());
        QDeadlineTimer deadline(60000);
        while (document->hasUnautosavedChanges() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (document->hasUnautosavedChanges()) return false;
    }
    report("autosave_file_mib", static_cast<double>(bytes.size()) / (1024.0 * 1024.0));
    report("autosave_main_thread_block_ms", percentile(blocks, 50));
    document->close();
    QCoreApplication::processEvents();
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    QTemporaryDir dir;
    // The recovery folder goes inside the temporary folder, not the user's.
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("data")));
    QCoreApplication app(argc, argv);
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
    std::vector<double> copies;
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
        // The peer: the same bytes copied and flushed to the disk, as a save must.
        Stopwatch copyWatch;
        const int copied = QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("cp \"$0\" \"$0.copy\" && sync \"$0.copy\""), path});
        if (copied == 0) copies.push_back(copyWatch.ms());
        QFile::remove(path + QStringLiteral(".copy"));
        // Put the file back as it was for the next run.
        document.storage().replaceCharacters(TextRange{0, 1}, QString());
        if (!document.saveToURL(path, KoriDocument::plainTextType, Document::SaveOperation::save, &error)) return 4;
    }
    report("file_mib", static_cast<double>(bytes.size()) / (1024.0 * 1024.0));
    report("open_64mib_ms", percentile(opens, 50));
    report("save_64mib_ms", percentile(saves, 50));
    report("save_64mib_min_ms", percentile(saves, 0));
    report("save_64mib_max_ms", percentile(saves, 100));
    if (copies.empty()) {
        std::printf("cp_sync_64mib_ms: peer did not finish\n");
    } else {
        report("cp_sync_64mib_ms", percentile(copies, 50));
        report("save_64mib_ratio_to_cp_sync", percentile(saves, 50) / percentile(copies, 50));
    }
    if (!benchAutosave(dir)) return 5;
    report("peak_rss_mb", peakRssMb());
    return 0;
}
