#include "document/TextDocumentSupport.h"

#include "document/EncodingConverter.h"
#include "document/TextCodec.h"
#include "platform/text/StringChecks.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

namespace korimado {

namespace {

// The head as the codec's own detection reads it, so that what the sidebar offers is what opening
// can read: UTF-8, Shift JIS, EUC-JP or ISO-2022-JP (a text that fits several still counts).
std::optional<QString> detectedText(const QByteArray& bytes)
{
    // A window that ends inside a run of ISO-2022-JP leaves the run open, so that the head does
    // not write back exactly as detection demands (and reads as ASCII with escapes): a strict
    // reading is enough here.
    if (bytes.contains('\x1B')) {
        if (auto text = EncodingConverter::toText(TextEncoding::iso2022JP, bytes)) return text;
    }
    try {
        return TextCodec::decode(bytes).text;
    } catch (const CodecError& error) {
        if (error.kind() == CodecError::ambiguous) {
            return EncodingConverter::toText(error.candidates().first(), bytes);
        }
    }
    return std::nullopt;
}

std::optional<QByteArray> readHead(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    QByteArray head(TextDocumentSupport::sniffLength, Qt::Uninitialized);
    qsizetype used = 0;
    bool failed = false;
    while (used < head.size()) {
        const ssize_t count = ::read(fd, head.data() + used, static_cast<size_t>(head.size() - used));
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) {
            failed = true;
            break;
        }
        if (count == 0) break;
        used += count;
    }
    ::close(fd);
    if (failed) return std::nullopt;
    head.resize(used);
    return head;
}

}  // namespace

const QSet<QString>& TextDocumentSupport::extensions()
{
    static const QSet<QString> set{
        "txt", "text", "md", "markdown", "mdown", "mkd", "log", "csv", "tsv", "svg", "json", "jsonl", "xml",
        "yaml", "yml", "toml", "ini", "conf", "cfg", "env", "swift", "c", "h", "cpp", "hpp", "m", "mm", "js",
        "jsx", "ts", "tsx", "py", "rb", "go", "rs", "java", "kt", "kts", "scala", "cs", "php", "html", "htm",
        "css", "scss", "sass", "less", "sh", "bash", "zsh", "fish", "sql", "lua", "pl", "r", "tex", "bib",
        "srt", "vtt", "ass", "cotrpl", "cottheme"};
    return set;
}

const QSet<QString>& TextDocumentSupport::filenames()
{
    static const QSet<QString> set{"readme", "license", "licence", "copying", "changelog", "makefile",
                                   "gnumakefile", "dockerfile", ".gitignore", ".gitattributes", ".gitmodules",
                                   ".editorconfig", ".npmrc", ".bashrc", ".zshrc"};
    return set;
}

bool TextDocumentSupport::looksLikeText(const QByteArray& head)
{
    if (head.isEmpty() || head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF")) return true;
    if (head.contains('\0')) return false;
    if (head.startsWith("%PDF-") || head.startsWith("PK\x03\x04")) return false;
    // The window may cut a multi-byte character: also try without up to three trailing bytes.
    const qsizetype tries = std::min<qsizetype>(4, head.size());
    for (qsizetype k = 0; k < tries; ++k) {
        const std::optional<QString> text = detectedText(head.left(head.size() - k));
        if (text && !containsControlCharacterBesidesWhiteSpace(*text)) return true;
    }
    return false;
}

bool TextDocumentSupport::canOpen(const QString& path, const QSet<QString>& extraExtensions,
                                  const QSet<QString>& extraFilenames)
{
    const QFileInfo info(path);
    const QString lastComponent = info.fileName();
    const QString name = lastComponent.toLower();
    if (name == QLatin1String(".ds_store") || name == QLatin1String(".localized")) return false;

    struct stat attributes {};
    if (::stat(QFile::encodeName(path).constData(), &attributes) != 0) return false;
    if (!S_ISREG(attributes.st_mode)) return false;
    if (static_cast<qint64>(attributes.st_size) > maximumFileSize) return false;
    if (::access(QFile::encodeName(path).constData(), R_OK) != 0) return false;

    // QFileInfo::suffix() takes ".gitignore" as an extension; the platform does not.
    const QString extension = lastComponent.startsWith('.') && lastComponent.count('.') == 1
        ? QString()
        : info.suffix().toLower();
    if (!extension.isEmpty() && (extensions().contains(extension) || extraExtensions.contains(extension))) return true;
    if (filenames().contains(name)) return true;
    if (extraFilenames.contains(lastComponent)) return true;
    if (name == QLatin1String(".env") || name.startsWith(QLatin1String(".env."))) return true;

    if (!extension.isEmpty()) {
        static const QMimeDatabase database;
        const QMimeType type = database.mimeTypeForFile(path, QMimeDatabase::MatchExtension);
        if (type.isValid() && (type.inherits(QStringLiteral("text/plain")) || type.name() == QLatin1String("image/svg+xml"))) {
            return true;
        }
        return false;
    }
    const auto head = readHead(path);
    return head && looksLikeText(*head);
}

}  // namespace korimado
