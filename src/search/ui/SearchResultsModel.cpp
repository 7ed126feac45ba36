#include "search/ui/SearchResultsModel.h"

#include <QFontDatabase>

namespace korimado {

SearchResultsModel::SearchResultsModel(QObject* parent) : QAbstractTableModel(parent)
{
    matchFont_ = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    matchFont_.setPointSize(12);
    digitFont_ = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    digitFont_.setPointSize(11);
}

void SearchResultsModel::set(const std::optional<SearchResultSet>& results, const QString& text)
{
    beginResetModel();
    results_ = results;
    text_ = text;
    endResetModel();
}

int SearchResultsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !results_ ? 0 : int(results_->matches.size());
}

int SearchResultsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 3;
}

QString SearchResultsModel::matchText(const SearchMatch& match, const QString& text)
{
    if (match.range.isNotFound() || match.range.location < 0 || match.range.end() > text.size()) {
        return QStringLiteral("（空の一致）");
    }
    const bool cut = match.range.length > matchTextLimit;
    QString s = text.mid(match.range.location, cut ? matchTextLimit : match.range.length);
    if (s.isEmpty()) return QStringLiteral("（空の一致）");
    if (cut) {
        if (s.back().isHighSurrogate()) s.chop(1);
        s += QChar(0x2026);
    }
    s.replace(QLatin1Char('\r'), QStringLiteral("↵"));
    s.replace(QLatin1Char('\n'), QStringLiteral("↵"));
    return s;
}

QVariant SearchResultsModel::data(const QModelIndex& index, int role) const
{
    if (!results_ || !index.isValid() || index.row() >= results_->matches.size()) return {};
    const SearchMatch& match = results_->matches[index.row()];
    if (role == Qt::FontRole) return index.column() == 2 ? matchFont_ : digitFont_;
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
    case 0: return QString::number(index.row() + 1);
    case 1: return QString::number(match.range.location) + QChar(0x2013) + QString::number(match.range.end());
    default: return matchText(match, text_);
    }
}

QVariant SearchResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
    case 0: return QStringLiteral("番号");
    case 1: return QStringLiteral("位置");
    case 2: return QStringLiteral("一致内容");
    default: return {};
    }
}

}  // namespace korimado
