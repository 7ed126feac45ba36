#pragma once

#include "search/engine/SearchMatch.h"

#include <QAbstractTableModel>
#include <QFont>

#include <optional>

namespace korimado {

// The find panel's result table: number, location and matched text of each match of the last
// search, cut from the text that search ran on.
class SearchResultsModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit SearchResultsModel(QObject* parent = nullptr);

    // The rows of one search, cut from the text it ran on; none: an empty table.
    void set(const std::optional<SearchResultSet>& results, const QString& text);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The "match" column's text of one match: its first matchTextLimit units (a long match ends
    // in "…"), line breaks shown as ↵.
    static QString matchText(const SearchMatch& match, const QString& text);

    // A cell holds no more than this: a match of megabytes would block every paint.
    static constexpr qsizetype matchTextLimit = 300;

private:
    std::optional<SearchResultSet> results_;
    QString text_;
    QFont matchFont_;
    QFont digitFont_;
};

}  // namespace korimado
