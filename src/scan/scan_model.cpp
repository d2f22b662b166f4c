#include "scan/scan_model.h"

#include <QVarLengthArray>

namespace corvantis::scan {

namespace {
QVariant Header(const QStringList& captions, int section, Qt::Orientation o, int role) {
    if (o != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= captions.size())
        return {};
    return captions.at(section);
}

QString PartnerKey(const QString& address) {
    return QString(address).remove(QStringLiteral("www.")).toLower();
}
} // namespace

// ---- partner list ----

int PartnerListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}
int PartnerListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 5;
}

QVariant PartnerListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size() ||
        (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const PartnerSite& p = m_rows.at(index.row());
    switch (index.column()) {
    case 0:
        return p.address;
    case 1:
        return p.linksExpected;
    case 2:
        return p.htmlLink;
    case 3:
        return p.htmlName;
    case 4:
        return p.description;
    default:
        return {};
    }
}

QVariant PartnerListModel::headerData(int section, Qt::Orientation o, int role) const {
    static const QStringList captions = {QStringLiteral("Website"), QStringLiteral("#"),
                                         QStringLiteral("HTML Link"), QStringLiteral("HTML Name"),
                                         QStringLiteral("Description")};
    return Header(captions, section, o, role);
}

int PartnerListModel::append(const PartnerSite& site) {
    const int row = int(m_rows.size());
    beginInsertRows({}, row, row);
    m_rows.append(site);
    endInsertRows();
    invalidate();
    return row;
}

void PartnerListModel::removeAt(int row) {
    if (row < 0 || row >= m_rows.size())
        return;
    beginRemoveRows({}, row, row);
    m_rows.removeAt(row);
    endRemoveRows();
    invalidate();
}

void PartnerListModel::replace(int row, const PartnerSite& site) {
    if (row < 0 || row >= m_rows.size())
        return;
    m_rows[row] = site;
    Q_EMIT dataChanged(index(row, 0), index(row, 4));
    invalidate();
}

void PartnerListModel::setRows(const QList<PartnerSite>& rows) {
    beginResetModel();
    m_rows = rows;
    endResetModel();
    invalidate();
}

bool PartnerListModel::isPartnerAddress(const QString& address) const {
    if (!m_keysValid) {
        m_keys.clear();
        for (const PartnerSite& p : m_rows)
            m_keys.insert(PartnerKey(p.address));
        m_keyLengths.clear();
        for (const QString& k : std::as_const(m_keys))
            m_keyLengths.insert(k.size());
        m_keysValid = true;
    }
    // The key of an ASCII address is built on the stack; it is looked up only
    // when some partner's key has its length, which few addresses of a site do.
    QVarLengthArray<char16_t, 256> key;
    const QStringView a(address);
    for (qsizetype i = 0; i < a.size();) {
        const char16_t c = a[i].unicode();
        if (c >= 0x80)
            return m_keys.contains(PartnerKey(address));
        if (c == u'w' && a.mid(i, 4) == u"www.") {
            i += 4;
            continue;
        }
        key.append(c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c);
        ++i;
    }
    if (!m_keyLengths.contains(key.size()))
        return false;
    return m_keys.contains(
        QString::fromRawData(reinterpret_cast<const QChar*>(key.constData()), key.size()));
}

// ---- result list ----

int ResultListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}
int ResultListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 4;
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const ResultRow& r = m_rows.at(index.row());
    if (role == kColourRole)
        return int(r.colour);
    if (role == kMarkerRole)
        return int(r.marker);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case 0:
        return r.site;
    case 1:
        return r.status;
    case 2:
        return r.number;
    case 3:
        return r.url;
    default:
        return {};
    }
}

QVariant ResultListModel::headerData(int section, Qt::Orientation o, int role) const {
    static const QStringList captions = {QStringLiteral("Site"), QStringLiteral("Status"),
                                         QStringLiteral("No."), QStringLiteral("URL")};
    return Header(captions, section, o, role);
}

int ResultListModel::append(const ResultRow& row) {
    const int at = int(m_rows.size());
    beginInsertRows({}, at, at);
    m_rows.append(row);
    m_urls.add(row.url);
    endInsertRows();
    return at;
}

void ResultListModel::setStatus(int row, const QString& status, RowColour colour,
                                RowMarker marker) {
    if (row < 0 || row >= m_rows.size())
        return;
    ResultRow& r = m_rows[row];
    r.status = status;
    r.colour = colour;
    r.marker = marker;
    Q_EMIT dataChanged(index(row, 0), index(row, 3));
}

void ResultListModel::setRows(const QList<ResultRow>& rows) {
    beginResetModel();
    m_rows = rows;
    m_urls.clear();
    for (const ResultRow& r : m_rows)
        m_urls.add(r.url);
    endResetModel();
}

// ---- error list ----

int ErrorListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}
int ErrorListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant ErrorListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size() || role != Qt::DisplayRole)
        return {};
    const ErrorRow& e = m_rows.at(index.row());
    return index.column() == 0 ? e.error : index.column() == 1 ? e.url : QVariant();
}

QVariant ErrorListModel::headerData(int section, Qt::Orientation o, int role) const {
    static const QStringList captions = {QStringLiteral("Error"), QStringLiteral("URL")};
    return Header(captions, section, o, role);
}

int ErrorListModel::append(const ErrorRow& row) {
    const int at = int(m_rows.size());
    beginInsertRows({}, at, at);
    m_rows.append(row);
    endInsertRows();
    return at;
}

void ErrorListModel::clear() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

// ---- page queue ----

int PageQueueModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant PageQueueModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_items.size() || role != Qt::DisplayRole)
        return {};
    return m_items.at(index.row());
}

QString PageQueueModel::takeHead() {
    beginRemoveRows({}, 0, 0);
    QString head = m_items.takeFirst();
    endRemoveRows();
    return head;
}

void PageQueueModel::append(const QStringList& addresses) {
    if (addresses.isEmpty())
        return;
    const int first = int(m_items.size());
    beginInsertRows({}, first, first + int(addresses.size()) - 1);
    m_items.append(addresses);
    endInsertRows();
}

void PageQueueModel::clear() {
    beginResetModel();
    m_items.clear();
    endResetModel();
}

} // namespace corvantis::scan
