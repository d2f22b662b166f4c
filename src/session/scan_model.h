#pragma once

#include "session/scan_types.h"

#include <QAbstractListModel>
#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>

#include <algorithm>
#include <memory>
#include <numeric>

namespace corvantis::scan {

// Colour and marker of a result row; the views turn them into a colour and an icon.
// Warning: a link back that does not pass its value (its "Link value" cell).
enum class RowColour { Default = 0, Blue = 1, Red = 2, Warning = 3 };
enum class RowMarker { None = 0, NotLinking = 1, Linking = 2 }; // the marker icon number

inline constexpr int kColourRole = Qt::UserRole + 1; // RowColour as int
inline constexpr int kMarkerRole = Qt::UserRole + 2; // RowMarker as int

// Status texts of result rows.
inline const QString kDirectLink = QStringLiteral("Direct Link");
inline const QString kDomainLink = QStringLiteral("Domain Link");
inline const QString kRedirectLink = QStringLiteral("Redirect Link");
inline const QString kNoneFound = QStringLiteral("None Found");
inline const QString kMissingPrefix = QStringLiteral("Missing ");

// The texts a verdict and its links are shown and recorded with, made here alone:
// "Direct Link", "Domain Link", "Redirect Link"; "Missing 002"; "None Found" and its
// note in brackets. VerdictText is the status of the site's last row.
QString VerdictText(const PartnerVerdict& verdict);
QString LinkKindText(VerdictKind kind);
// "Counts", the reasons a link does not, or empty when its value was not read.
QString LinkValueText(const FoundLink& link);

struct PartnerSite {
    QString address;       // "Website"
    QString linksExpected; // "#", as typed
    QString htmlLink;      // "HTML Link"
    QString htmlName;      // "HTML Name"
    QString description;   // "Description"
    bool operator==(const PartnerSite&) const = default;
};

struct ResultRow {
    QString site;
    QString status;
    QString number;
    QString url;
    RowColour colour = RowColour::Default;
    RowMarker marker = RowMarker::None;
    QString value{};              // "Counts", or why the link back does not; empty for no link
    QString anchor{};             // the link's text
    Change change = Change::None; // what changed for the site since its last recorded scan
    QDateTime lostSince{}; // when the scan that said its link was lost ended; null when not lost
    bool operator==(const ResultRow&) const = default;
};

// Each site with a change once (its first row), worst first, then in list order.
// A new partner is news only when the domain was scanned before, so a first scan
// has none.
QList<const ResultRow*> ChangedSites(const QList<ResultRow>& rows, bool domainInHistory);
// Each site whose link was lost in an earlier scan and is still not back (its
// first row), in list order.
QList<const ResultRow*> StillLostSites(const QList<ResultRow>& rows);

struct ErrorRow {
    QString error;
    QString url;
    bool operator==(const ErrorRow&) const = default;
};

// A list of records shown as a table. Sorting reorders the rows themselves, so
// the sorted order is the list order everywhere (saving, the report, the links
// page), and the list stays sorted: a row added later goes to its sorted place.
// Rows compare by the text shown in the sort column, letter case ignored, and
// keep their order among equals.
template <class Row> class RowTableModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(m_rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(captions().size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= m_rows.size())
            return {};
        const Row& row = m_rows.at(index.row());
        return role == Qt::DisplayRole ? QVariant(cellText(row, index.column()))
                                       : roleData(row, index.column(), role);
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (o != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
            section >= captions().size())
            return {};
        return captions().at(section);
    }

    int count() const { return int(m_rows.size()); }
    const Row& at(int row) const { return m_rows.at(row); } // 0-based
    const QList<Row>& rows() const { return m_rows; }

    // Adds a row, at its sorted place when the list is sorted; returns where.
    int append(const Row& row) {
        const int at = insertPosition(row);
        beginInsertRows({}, at, at);
        m_rows.insert(at, row);
        endInsertRows();
        rowAdded(row);
        return at;
    }
    void setRows(const QList<Row>& rows) {
        beginResetModel();
        m_rows = rows;
        endResetModel();
        rowsReset();
    }
    void clear() { setRows({}); }

    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const { return m_sortColumn; } // -1 while unsorted
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

protected:
    virtual const QStringList& captions() const = 0;
    virtual QString cellText(const Row& row, int column) const = 0;
    virtual QVariant roleData(const Row&, int /*column*/, int /*role*/) const { return {}; }
    // What is kept beside the rows follows these; a sort changes none of it.
    virtual void rowAdded(const Row&) {}
    virtual void rowsReset() {}
    virtual bool appendsAtEnd() const { return false; }

    // True when a sorts before b in the current order.
    bool before(const Row& a, const Row& b) const {
        const int c = QString::compare(cellText(a, m_sortColumn), cellText(b, m_sortColumn),
                                       Qt::CaseInsensitive);
        return m_sortOrder == Qt::AscendingOrder ? c < 0 : c > 0;
    }
    int insertPosition(const Row& row) const {
        if (m_sortColumn < 0 || appendsAtEnd())
            return int(m_rows.size());
        const auto it =
            std::upper_bound(m_rows.cbegin(), m_rows.cend(), row,
                             [this](const Row& a, const Row& b) { return before(a, b); });
        return int(it - m_rows.cbegin());
    }

    QList<Row> m_rows;

private:
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

template <class Row> void RowTableModel<Row>::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= columnCount())
        return;
    m_sortColumn = column;
    m_sortOrder = order;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QList<int> order2old(m_rows.size());
    std::iota(order2old.begin(), order2old.end(), 0);
    std::stable_sort(order2old.begin(), order2old.end(),
                     [this](int a, int b) { return before(m_rows.at(a), m_rows.at(b)); });
    QList<Row> sorted;
    sorted.reserve(m_rows.size());
    QList<int> old2new(m_rows.size());
    for (int i = 0; i < order2old.size(); ++i) {
        sorted.append(m_rows.at(order2old.at(i)));
        old2new[order2old.at(i)] = i;
    }
    m_rows = std::move(sorted);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& i : from)
        to.append(index(old2new.at(i.row()), i.column()));
    changePersistentIndexList(from, to);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// The partner list: sites to check, in scan order.
class PartnerListModel : public RowTableModel<PartnerSite> {
    Q_OBJECT
public:
    using RowTableModel::RowTableModel;

    void removeAt(int row);
    void replace(int row, const PartnerSite& site);

    // While on (a scan runs), new rows go to the end whatever the sort, so the
    // site being scanned and the ones before it keep their places.
    void setKeepPositions(bool on) { m_keepPositions = on; }

    // True when the address has a partner's PartnerKey (the "already a partner"
    // rule); the address is one the crawl met, so it has no scheme.
    bool isPartnerAddress(const QString& address) const;

protected:
    const QStringList& captions() const override;
    QString cellText(const PartnerSite& row, int column) const override;
    QVariant roleData(const PartnerSite& row, int column, int role) const override;
    void rowAdded(const PartnerSite&) override { m_keysValid = false; }
    void rowsReset() override { m_keysValid = false; }
    bool appendsAtEnd() const override { return m_keepPositions; }

private:
    bool m_keepPositions = false;
    mutable QSet<QString> m_keys;
    mutable QSet<qsizetype> m_keyLengths;
    mutable bool m_keysValid = false;
};

// The result list. Keeps an index of its addresses for the "already a result page" rule.
class ResultListModel : public RowTableModel<ResultRow> {
    Q_OBJECT
public:
    explicit ResultListModel(QObject* parent = nullptr);
    ~ResultListModel() override;

    void setStatus(int row, const QString& status, RowColour colour, RowMarker marker);
    // The change of every row of one site, and since when its link is lost.
    void setChange(const QString& site, Change change, const QDateTime& lostSince);

protected:
    const QStringList& captions() const override;
    QString cellText(const ResultRow& row, int column) const override;
    QVariant roleData(const ResultRow& row, int column, int role) const override;
};

class ErrorListModel : public RowTableModel<ErrorRow> {
    Q_OBJECT
public:
    using RowTableModel::RowTableModel;

protected:
    const QStringList& captions() const override;
    QString cellText(const ErrorRow& row, int column) const override;
};

// The page queue of the site being scanned: first in, first out.
class PageQueueModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    int count() const { return int(m_items.size()); }
    bool isEmpty() const { return m_items.isEmpty(); }
    const QString& head() const { return m_items.first(); }
    QString takeHead();
    void append(const QStringList& addresses);
    void clear();
    const QList<QString>& items() const { return m_items; }

private:
    QList<QString> m_items;
};

} // namespace corvantis::scan
