#include "preferences/archive/SettingsArchiveImportSummary.h"

#include <algorithm>

namespace korimado {

namespace {

// Whether a handled path equals path or is a whole-component prefix of it. handled is sorted.
bool isHandled(const QString& path, const QStringList& handled)
{
    const auto contains = [&handled](QStringView candidate) {
        const auto it = std::lower_bound(handled.cbegin(), handled.cend(), candidate,
                                         [](const QString& a, QStringView b) { return QStringView(a) < b; });
        return it != handled.cend() && QStringView(*it) == candidate;
    };
    if (contains(path)) return true;
    for (qsizetype slash = path.indexOf(u'/'); slash >= 0; slash = path.indexOf(u'/', slash + 1)) {
        if (contains(QStringView(path).left(slash))) return true;
    }
    return false;
}

}  // namespace

SettingsArchiveImportSummary SettingsArchiveImportSummary::including(
    const SettingsResourceActivationSummary& activation) const
{
    QStringList handled = activation.activated;
    for (auto it = activation.rejected.cbegin(); it != activation.rejected.cend(); ++it) handled.append(it.key());
    std::sort(handled.begin(), handled.end());

    SettingsArchiveImportSummary summary = *this;
    summary.preservedResources.clear();
    for (const QString& path : preservedResources) {
        if (!isHandled(path, handled)) summary.preservedResources.append(path);
    }
    summary.activatedResources = activation.activated;
    std::sort(summary.activatedResources.begin(), summary.activatedResources.end());
    summary.rejectedResources.clear();
    for (auto it = activation.rejected.cbegin(); it != activation.rejected.cend(); ++it) {
        summary.rejectedResources.append(it.key() + QStringLiteral("（") + it.value() + QStringLiteral("）"));
    }
    return summary;
}

QString SettingsArchiveImportSummary::displayText() const
{
    QStringList sections;
    const auto add = [&sections](const QString& heading, const QStringList& items) {
        if (!items.isEmpty()) sections.append(heading + items.join(QStringLiteral("、")));
    };
    sections.append(QStringLiteral("適用した設定：")
                    + (appliedKeys.isEmpty() ? QStringLiteral("なし") : appliedKeys.join(QStringLiteral("、"))));
    add(QStringLiteral("Korimadoに対応項目がない設定（保持のみ）："), unsupportedKeys);
    add(QStringLiteral("形式に未登録の設定（保持のみ）："), unrecognizedKeys);
    add(QStringLiteral("有効化したファイル："), activatedResources);
    add(QStringLiteral("不正なため有効化しなかったファイル（アーカイブには保持）："), rejectedResources);
    add(QStringLiteral("適用せず保持したファイル："), preservedResources);
    add(QStringLiteral("読み込まなかった値："), warnings);
    return sections.join(QStringLiteral("\n\n"));
}

}  // namespace korimado
