#pragma once

#include <QAbstractListModel>
#include <QStringList>

namespace corvantis::automation {

// The import list: one column "Link URL" of plain addresses, empty rows
// included. Rows come in batches, one insertion each.
class ImportListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const QStringList& rows() const { return m_rows; }
    void appendRows(const QStringList& rows);
    void clear();

private:
    QStringList m_rows;
};

} // namespace corvantis::automation
