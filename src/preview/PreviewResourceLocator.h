#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>
#include <variant>

namespace korimado {

// Which files beside an HTML document its preview may load, and their contents: a file inside
// the document's folder (symbolic links resolved), with one of the asset extensions, regular and
// at most 32 MiB. Pure apart from reading the file; safe on any thread.
class PreviewResourceLocator {
public:
    static constexpr qint64 maximumSize = 33'554'432;
    static inline const QString scheme = QStringLiteral("kori-preview");
    static inline const QString host = QStringLiteral("local");

    struct Resource {
        QByteArray data;
        QByteArray mimeType;
    };
    struct Failure {
        bool refused = true;  // the one fixed refusal; else a read error
        QString message;
    };

    // The folder as the handler keeps it: absolute, cleaned, symbolic links resolved.
    static std::optional<QString> standardizedRoot(const std::optional<QString>& folder);
    // The file under root a preview URL names, or nothing.
    static std::optional<QString> localPath(const QUrl& url, const std::optional<QString>& root);
    static bool isAssetExtension(const QString& path);
    static QByteArray mimeType(const QString& path);
    // Everything a request needs: the containment, the extension table, the file checks and the
    // read. Throws nothing.
    static std::variant<Resource, Failure> load(const QUrl& url, const std::optional<QString>& root);

    static inline const QString refusalMessage = QStringLiteral("このプレビューから読み込めないファイルです。");
};

}  // namespace korimado
