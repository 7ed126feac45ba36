#include "platform/documents/AutosaveOffer.h"

#include "platform/documents/AutosavedContents.h"
#include "platform/documents/FileIO.h"

#include <QFileInfo>
#include <QStringList>

namespace korimado {

namespace {

constexpr std::size_t namesShown = 5;

QString describe(const AutosaveRecord& record, bool changed)
{
    QString line = QStringLiteral("“%1”").arg(record.displayName);
    if (!record.fileURL.isEmpty()) line += QStringLiteral("（%1）").arg(record.fileURL);
    if (changed) line += QStringLiteral("：自動保存のあとでファイルが変更されています");
    return line;
}

}  // namespace

bool AutosaveOffer::fileChangedSince(const AutosaveRecord& record)
{
    if (record.fileURL.isEmpty() || !record.fileContents) return false;
    const QFileInfo file(record.fileURL);
    if (!file.exists() && !file.isSymLink()) return false;
    if (!file.isFile() || file.size() != record.fileContents->size) return true;
    const std::optional<QByteArray> bytes = readWholeFile(record.fileURL, nullptr, record.fileContents->size);
    return !bytes || FileContentsDigest::of(*bytes) != *record.fileContents;
}

Alert AutosaveOffer::question(const std::vector<const AutosaveRecord*>& records)
{
    std::vector<bool> changed;
    bool anyChanged = false;
    for (const AutosaveRecord* record : records) {
        changed.push_back(fileChangedSince(*record));
        anyChanged = anyChanged || changed.back();
    }
    Alert alert;
    if (records.size() == 1) {
        const AutosaveRecord& record = *records.front();
        alert.messageText = QStringLiteral("書類“%1”の保存されていない変更が残っています。").arg(record.displayName);
        if (!record.fileURL.isEmpty()) alert.informativeText = QStringLiteral("ファイル：%1\n").arg(record.fileURL);
        if (changed.front())
            alert.informativeText += QStringLiteral("このファイルは、自動保存のあとで変更されています。\n");
    } else {
        alert.messageText = QStringLiteral("保存されていない変更のある書類が%1件残っています。").arg(records.size());
        // Those whose file changed come first: they must not be hidden among the "others".
        QStringList lines;
        for (bool wanted : {true, false}) {
            for (std::size_t i = 0; i < records.size(); ++i) {
                if (changed[i] == wanted && std::size_t(lines.size()) < namesShown)
                    lines.append(describe(*records[i], changed[i]));
            }
        }
        alert.informativeText = lines.join(u'\n');
        if (records.size() > namesShown)
            alert.informativeText += QStringLiteral("\nほか%1件").arg(records.size() - namesShown);
        alert.informativeText += u'\n';
    }
    if (!alert.informativeText.isEmpty()) alert.informativeText += u'\n';
    alert.informativeText += QStringLiteral("前回、保存しないまま終了しました。「復元」を選ぶと、変更を加えた書類として開きます。"
                                            "「破棄」を選ぶと、自動保存された内容を削除します。"
                                            "「あとで」を選ぶと、次回の起動時にもう一度確認します。");
    if (anyChanged)
        alert.informativeText += QStringLiteral("\n\n自動保存のあとで変更されたファイルには、復元した書類を上書き保存できません。"
                                                "再読み込みで変更を確かめるか、別名で保存してください。");
    alert.buttons = {QStringLiteral("復元"), QStringLiteral("あとで"), QStringLiteral("破棄")};
    alert.style = Alert::Style::warning;
    return alert;
}

Alert AutosaveOffer::refusal(const std::vector<ErrorInfo>& refused)
{
    Alert alert;
    alert.style = Alert::Style::warning;
    alert.buttons = {QStringLiteral("OK")};
    if (refused.empty()) return alert;
    if (refused.size() == 1) {
        alert.messageText = refused.front().description;
    } else {
        alert.messageText = QStringLiteral("安全でない自動保存のフォルダが%1個あったため、使いませんでした。").arg(refused.size());
        QStringList lines;
        for (const ErrorInfo& error : refused) lines.append(error.description);
        alert.informativeText = lines.join(u'\n') + QStringLiteral("\n\n");
    }
    alert.informativeText += refused.front().recoverySuggestion
        + QStringLiteral("中にあるものは、ほかのユーザーが置いたものかもしれません。復元には使いません。");
    return alert;
}

}  // namespace korimado
