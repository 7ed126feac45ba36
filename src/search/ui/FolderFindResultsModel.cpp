#include "search/ui/FolderFindResultsModel.h"

#include "platform/foundation/FilePath.h"
#include "search/ui/FolderFindWindowController.h"

namespace korimado {

namespace {

struct ColumnInfo {
    const char* identifier;
    const char* title;
    int width;
};

const ColumnInfo columns[] = {
    {"apply", "対象", 55},
    {"file", "ファイル", 290},
    {"hits", "一致", 65},
    {"preview", "一致内容または変更プレビュー", 430},
};

QString oneLine(QString excerpt)
{
    return excerpt.replace(QChar(u'\n'), QStringLiteral(" ↵ "));
}

}  // namespace

FolderFindResultsModel::FolderFindResultsModel(FolderFindWindowController& window)
    : QAbstractTableModel(&window), window_(window)
{
}

QString FolderFindResultsModel::columnIdentifier(int column)
{
    return QString::fromLatin1(columns[column].identifier);
}

int FolderFindResultsModel::columnWidth(int column)
{
    return columns[column].width;
}

int FolderFindResultsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : window_.rowCount();
}

int FolderFindResultsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : columnCount_;
}

void FolderFindResultsModel::reload()
{
    beginResetModel();
    endResetModel();
}

void FolderFindResultsModel::rowChanged(int row)
{
    Q_EMIT dataChanged(index(row, 0), index(row, columnCount_ - 1));
}

bool FolderFindResultsModel::isBlocked(int row) const
{
    const FolderSearchFile* file = window_.fileAt(row);
    return file && window_.blockedOpenURLs().contains(standardizedPath(file->url));
}

QVariant FolderFindResultsModel::data(const QModelIndex& index, int role) const
{
    const FolderSearchFile* file = window_.fileAt(index.row());
    if (!file) return {};
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return display(index.row(), column);
    case Qt::ToolTipRole:
        return toolTip(index.row(), column);
    case Qt::CheckStateRole:
        if (column != applyColumn) return {};
        return !isBlocked(index.row()) && window_.selectedURLs().contains(standardizedPath(file->url)) ? Qt::Checked : Qt::Unchecked;
    case Qt::AccessibleTextRole:
        if (column == applyColumn) return file->relativePath + QStringLiteral("を置換対象にする");
        return display(index.row(), column);
    default:
        return {};
    }
}

QVariant FolderFindResultsModel::display(int row, int column) const
{
    const FolderSearchFile* file = window_.fileAt(row);
    switch (column) {
    case fileColumn:
        return file->relativePath;
    case hitsColumn:
        if (const FolderReplacementFile* changed = window_.previewFileAt(row)) {
            return QString::number(changed->replacementCount);
        }
        return QString::number(file->hits.size());
    case previewColumn:
        if (const FolderReplacementFile* changed = window_.previewFileAt(row)) {
            const QString prefix = isBlocked(row) ? QStringLiteral("開いているため対象外  ") : QString();
            return prefix + oneLine(changed->beforeExcerpt) + QStringLiteral("  →  ") + oneLine(changed->afterExcerpt);
        }
        if (file->hits.isEmpty()) return QString();
        {
            const FolderSearchHit& hit = file->hits.first();
            return QString::number(hit.line) + QStringLiteral("行") + QString::number(hit.column) + QStringLiteral("列: ")
                   + hit.excerpt;
        }
    default:
        return {};
    }
}

QVariant FolderFindResultsModel::toolTip(int row, int column) const
{
    const FolderSearchFile* file = window_.fileAt(row);
    switch (column) {
    case applyColumn:
        return isBlocked(row) ? QVariant(blockedToolTip) : QVariant();
    case fileColumn:
        return file->url;
    case previewColumn:
        if (const FolderReplacementFile* changed = window_.previewFileAt(row)) {
            return QStringLiteral("変更前:\n") + changed->beforeExcerpt + QStringLiteral("\n\n変更後:\n")
                   + changed->afterExcerpt;
        }
        return {};
    default:
        return {};
    }
}

bool FolderFindResultsModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || index.column() != applyColumn || !window_.fileAt(index.row())) return false;
    window_.toggleFile(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags FolderFindResultsModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) return Qt::NoItemFlags;
    if (index.column() == applyColumn) {
        // A blocked box is shown off and cannot be switched on.
        return isBlocked(index.row()) ? Qt::ItemIsUserCheckable : Qt::ItemIsUserCheckable | Qt::ItemIsEnabled;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QVariant FolderFindResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount_) return {};
    if (role == Qt::DisplayRole) return QString::fromUtf8(columns[section].title);
    if (role == Qt::UserRole) return columnIdentifier(section);
    return {};
}

}  // namespace korimado
