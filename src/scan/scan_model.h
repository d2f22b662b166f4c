#pragma once

#include "scan/substring_index.h"

#include <QAbstractListModel>
#include <QAbstractTableModel>
#include <QList>
#include <QSet>
#include <QString>

namespace corvantis::scan {

// Colour and marker of a result row; the views turn them into a colour and an icon.
enum class RowColour { Default = 0, Blue = 1, Red = 2 };
enum class RowMarker { None = 0, NotLinking = 1, Linking = 2 }; // the marker icon number

inline constexpr int kColourRole = Qt::UserRole + 1; // RowColour as int
inline constexpr int kMarkerRole = Qt::UserRole + 2; // RowMarker as int

// Status texts of result rows.
inline const QString kDirectLink = QStringLiteral("Direct Link");
inline const QString kDomainLink = QStringLiteral("Domain Link");
inline const QString kRedirectLink = QStringLiteral("Redirect Link");
inline const QString kNoneFound = QStringLiteral("None Found");
inline const QString kMissingPrefix = QStringLiteral("Missing ");

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
    bool operator==(const ResultRow&) const = default;
};

struct ErrorRow {
    QString error;
    QString url;
    bool operator==(const ErrorRow&) const = default;
};

// The partner list: sites to check, in scan order.
class PartnerListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    int count() const { return int(m_rows.size()); }
    const PartnerSite& at(int row) const { return m_rows.at(row); } // 0-based
    const QList<PartnerSite>& rows() const { return m_rows; }
    int append(const PartnerSite& site);
    void removeAt(int row);
    void replace(int row, const PartnerSite& site);
    void setRows(const QList<PartnerSite>& rows);
    void clear() { setRows({}); }

    // True when the address equals a partner address once both are lower-cased
    // and every lower-case "www." is taken out (the "already a partner" rule).
    bool isPartnerAddress(const QString& address) const;

private:
    void invalidate() { m_keysValid = false; }
    QList<PartnerSite> m_rows;
    mutable QSet<QString> m_keys;
    mutable QSet<qsizetype> m_keyLengths;
    mutable bool m_keysValid = false;
};

// The result list. Keeps an index of its addresses for the "already a result page" rule.
class ResultListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    int count() const { return int(m_rows.size()); }
    const ResultRow& at(int row) const { return m_rows.at(row); }
    const QList<ResultRow>& rows() const { return m_rows; }
    int append(const ResultRow& row);
    void setStatus(int row, const QString& status, RowColour colour, RowMarker marker);
    void setRows(const QList<ResultRow>& rows);
    void clear() { setRows({}); }

    // True when the address column of any row contains the text (letter case ignored).
    bool anyUrlContains(const QString& text) const { return m_urls.anyContains(text); }

private:
    QList<ResultRow> m_rows;
    SubstringIndex m_urls;
};

class ErrorListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    int count() const { return int(m_rows.size()); }
    const ErrorRow& at(int row) const { return m_rows.at(row); }
    const QList<ErrorRow>& rows() const { return m_rows; }
    int append(const ErrorRow& row);
    void clear();

private:
    QList<ErrorRow> m_rows;
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
