#pragma once

#include <QAbstractTableModel>

namespace korimado {

class FolderFindWindowController;

// The folder window's results table: one row per file, never one per hit. Reads the window's
// result, preview and ticks as they stand; reset it whenever they change.
class FolderFindResultsModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { applyColumn, fileColumn, hitsColumn, previewColumn, columnCount_ };

    explicit FolderFindResultsModel(FolderFindWindowController& window);

    static QString columnIdentifier(int column);
    static int columnWidth(int column);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void reload();
    void rowChanged(int row);

    static inline const QString blockedToolTip =
        QStringLiteral("開いている文書は上書きしません。閉じて再検索してください。");

private:
    bool isBlocked(int row) const;
    QVariant display(int row, int column) const;
    QVariant toolTip(int row, int column) const;

    FolderFindWindowController& window_;
};

}  // namespace korimado
