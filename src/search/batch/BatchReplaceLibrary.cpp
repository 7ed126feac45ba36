#include "search/batch/BatchReplaceLibrary.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/LocalizedStandardCompare.h"
#include "search/batch/BatchReplaceEngine.h"
#include "search/engine/SearchEngine.h"
#include "search/engine/SearchEngineError.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace korimado {

BatchReplaceLibraryError::BatchReplaceLibraryError(int code, QString description)
    : code_(code), description_(std::move(description)), what_(description_.toUtf8())
{
}

std::optional<QString> BatchReplaceLibrary::directory()
{
    const QString root = Bundle::applicationSupportPath();
    if (root.isEmpty()) return std::nullopt;
    return Bundle::applicationSupportPath(QStringLiteral("Replacements"));
}

BatchReplaceLibrary::Listing BatchReplaceLibrary::list(const QString& directory)
{
    Listing listing;
    const QFileInfo folder(directory);
    if (!folder.exists()) {
        listing.state = Listing::State::missing;
        return listing;
    }
    if (!folder.isDir() || !folder.isReadable()) {
        listing.state = Listing::State::unreadable;
        listing.errorDescription = QStringLiteral("フォルダ「%1」を読み込めません。").arg(folder.fileName());
        return listing;
    }
    QDir dir(directory);
    const QFileInfoList children = dir.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    std::vector<QFileInfo> entries;
    for (const QFileInfo& child : children) {
        if (child.fileName().startsWith(QLatin1Char('.')) || child.isSymLink() || !child.isFile()) continue;
        if (child.suffix().toLower() != QLatin1String("cotrpl")) continue;
        entries.push_back(child);
    }
    std::stable_sort(entries.begin(), entries.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return localizedStandardLess(BatchReplaceEngine::nameForFile(a.fileName()), BatchReplaceEngine::nameForFile(b.fileName()));
    });
    for (const QFileInfo& entry : entries) listing.paths << entry.absoluteFilePath();
    listing.state = listing.paths.isEmpty() ? Listing::State::missing : Listing::State::entries;
    return listing;
}

void BatchReplaceLibrary::validate(const BatchReplaceDocument& document)
{
    for (qsizetype i = 0; i < document.rules.size(); ++i) {
        const BatchReplaceRule& rule = document.rules[i];
        const QString n = QString::number(i + 1);
        if (rule.find.isEmpty()) {
            throw BatchReplaceLibraryError(1, QStringLiteral("保存済みルールの条件") + n + QStringLiteral("は検索文字列が空です。"));
        }
        SearchRequest request;
        request.pattern = rule.find;
        request.options = rule.options;
        try {
            SearchEngine::findAll(QString(), request, 0, nullptr);
        } catch (const SearchEngineError& error) {
            throw BatchReplaceLibraryError(2, QStringLiteral("保存済みルールの条件") + n
                                                  + QStringLiteral("に無効な正規表現があります。") + error.errorDescription());
        }
    }
}

}  // namespace korimado
