#include "syntax/CotSyntaxCatalog.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/LocalizedStandardCompare.h"
#include "syntax/SyntaxRegex.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QLocale>

#include <sys/stat.h>

#include <algorithm>
#include <set>

namespace korimado {

namespace {

// The folder named by $KORIMADO_SYNTAX_ROOT, made absolute; empty when unset or empty.
QString environmentRoot()
{
    const QString value = qEnvironmentVariable("KORIMADO_SYNTAX_ROOT");
    if (value.isEmpty()) return {};
    return QDir::cleanPath(QDir::current().absoluteFilePath(value));
}

// Where an installed copy of the outside editor keeps its syntax packages. It has no build for
// this platform, so there is never such a folder; the root stays in the list's logic regardless.
QString installedEditorSyntaxDirectory()
{
    return {};
}

QString shortestSeconds(double seconds)
{
    QString text = QString::number(seconds, 'f', QLocale::FloatingPointShortest);
    if (!text.contains(QLatin1Char('.'))) text += QStringLiteral(".0");
    return text;
}

}  // namespace

CotSyntaxCatalog& CotSyntaxCatalog::shared()
{
    static CotSyntaxCatalog catalog;
    return catalog;
}

CotSyntaxCatalog::CotSyntaxCatalog() : cachedLanguages(buildLanguages()), reloadFingerprint(currentReloadFingerprint()) {}

std::vector<SyntaxLanguage> CotSyntaxCatalog::languages() const
{
    std::lock_guard guard(lock);
    return cachedLanguages;
}

std::shared_ptr<const CotSyntaxCatalog::FileNames> CotSyntaxCatalog::fileNames() const
{
    std::lock_guard guard(lock);
    if (fileNames_ && fileNamesRevision_ == revision) return fileNames_;
    auto made = std::make_shared<FileNames>();
    for (const SyntaxLanguage& language : cachedLanguages) {
        for (const QString& extension : language.fileExtensions) made->extensions.insert(extension);
        for (const QString& name : language.filenames) made->filenames.insert(name);
    }
    fileNames_ = std::move(made);
    fileNamesRevision_ = revision;
    return fileNames_;
}

void CotSyntaxCatalog::reloadIfNeeded()
{
    const QString fingerprint = currentReloadFingerprint();
    {
        std::lock_guard guard(lock);
        if (fingerprint == reloadFingerprint) return;
    }
    std::vector<SyntaxLanguage> rebuilt = buildLanguages();
    {
        std::lock_guard guard(lock);
        cachedLanguages = std::move(rebuilt);
        reloadFingerprint = fingerprint;
        revision += 1;
    }
    // The compiled expressions live as long as the list they were compiled for.
    SyntaxRegex::clearCache();
}

QString CotSyntaxCatalog::userSyntaxDirectory()
{
    QString base = Bundle::applicationSupportPath();
    if (base.isEmpty()) {
        base = QDir::homePath() + QStringLiteral("/.local/share/") + Bundle::configuration().dataFolderName;
    }
    return QDir::cleanPath(base + QStringLiteral("/Syntaxes"));
}

QStringList CotSyntaxCatalog::definitionRoots()
{
    const QString fromEnvironment = environmentRoot();
    if (!fromEnvironment.isEmpty()) {
        return QFileInfo::exists(fromEnvironment) ? QStringList{fromEnvironment} : QStringList{};
    }
    QStringList roots;
    const auto add = [&roots](const QString& folder) {
        if (!folder.isEmpty() && QFileInfo::exists(folder) && !roots.contains(folder)) roots.append(folder);
    };
    add(userSyntaxDirectory());
    const QString resources = Bundle::main().resourcePath();
    if (!resources.isEmpty()) add(QDir::cleanPath(resources + QStringLiteral("/Syntaxes")));
    if (qEnvironmentVariable("KORIMADO_DISABLE_INSTALLED_SYNTAX") == QLatin1String("1")) return roots;
    add(installedEditorSyntaxDirectory());
    return roots;
}

std::vector<SyntaxLanguage> CotSyntaxCatalog::loadDefinitions()
{
    std::vector<SyntaxLanguage> definitions;
    std::set<QString> claimed;
    const QStringList roots = definitionRoots();
    for (int priority = 0; priority < roots.size(); ++priority) {
        QStringList entries = QDir(roots[priority]).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
        std::stable_sort(entries.begin(), entries.end(), localizedStandardLess);
        for (const QString& entry : entries) {
            if (entry.startsWith(QLatin1Char('.'))) continue;
            const qsizetype dot = entry.lastIndexOf(QLatin1Char('.'));
            if (dot <= 0 || QStringView(entry).mid(dot + 1) != QLatin1String("cotsyntax")) continue;
            // A name stays claimed even when its package turns out broken: it still hides later roots.
            if (!claimed.insert(entry.left(dot).toLower()).second) continue;
            if (std::optional<SyntaxLanguage> language = loadPackage(roots[priority] + QLatin1Char('/') + entry, priority)) {
                definitions.push_back(std::move(*language));
            }
        }
    }
    return definitions;
}

SyntaxLanguage CotSyntaxCatalog::merge(const SyntaxLanguage& existing, const SyntaxLanguage& loaded)
{
    const auto unique = [](QStringList list) {
        list.removeDuplicates();
        return list;
    };
    SyntaxLanguage merged = existing;
    merged.fileExtensions = unique(existing.fileExtensions + loaded.fileExtensions);
    merged.filenames = unique(existing.filenames + loaded.filenames);
    merged.keywords = unique(existing.keywords + loaded.keywords);
    merged.completionWords = unique(existing.completionWords + loaded.completionWords);
    if (loaded.lineComment) merged.lineComment = loaded.lineComment;
    if (loaded.blockComment) merged.blockComment = loaded.blockComment;
    merged.importedHighlightRules = loaded.importedHighlightRules;
    merged.importedOutlineRules = loaded.importedOutlineRules;
    merged.definitionSource = loaded.definitionSource;
    merged.definitionPriority = loaded.definitionPriority;
    return merged;
}

std::vector<SyntaxLanguage> CotSyntaxCatalog::buildLanguages()
{
    std::vector<SyntaxLanguage> list = SyntaxLanguage::builtIn();
    const size_t builtInCount = list.size();
    for (SyntaxLanguage& definition : loadDefinitions()) {
        const auto found = std::find(list.begin(), list.end(), definition);
        if (found != list.end()) {
            *found = merge(*found, definition);
        } else {
            list.push_back(std::move(definition));
        }
    }
    std::stable_sort(list.begin() + static_cast<std::ptrdiff_t>(builtInCount), list.end(),
                     [](const SyntaxLanguage& a, const SyntaxLanguage& b) { return localizedStandardLess(a.displayName, b.displayName); });
    return list;
}

QString CotSyntaxCatalog::currentReloadFingerprint()
{
    const QString fromEnvironment = environmentRoot();
    const QString folder = fromEnvironment.isEmpty() ? userSyntaxDirectory() : fromEnvironment;
    const QFileInfo folderInfo(folder);
    if (!folderInfo.exists()) return folder + QStringLiteral("|missing");
    if (!folderInfo.isDir() || !folderInfo.isReadable()) return folder + QStringLiteral("|unreadable");

    QStringList lines;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat status {};
        if (::lstat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode)) continue;
        QString relative = path.mid(folder.size());
        while (relative.startsWith(QLatin1Char('/'))) relative.remove(0, 1);
        while (relative.endsWith(QLatin1Char('/'))) relative.chop(1);
        const double seconds = static_cast<double>(status.st_mtim.tv_sec) + static_cast<double>(status.st_mtim.tv_nsec) / 1e9;
        lines.append(relative + QLatin1Char('|') + QString::number(static_cast<qint64>(status.st_size)) + QLatin1Char('|')
                     + shortestSeconds(seconds));
    }
    std::sort(lines.begin(), lines.end());
    return folder + QLatin1Char('|') + lines.join(QLatin1Char('\n'));
}

}  // namespace korimado
