#include "session/scan_model.h"

#include "page/link_value.h"
#include "page/partner_address.h"
#include "util/text_utils.h"

namespace corvantis::scan {

// ---- partner list ----

const QStringList& PartnerListModel::captions() const {
    static const QStringList captions = {QStringLiteral("Website"), QStringLiteral("#"),
                                         QStringLiteral("HTML Link"), QStringLiteral("HTML Name"),
                                         QStringLiteral("Description")};
    return captions;
}

QString PartnerListModel::cellText(const PartnerSite& p, int column) const {
    switch (column) {
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

QVariant PartnerListModel::roleData(const PartnerSite& p, int column, int role) const {
    return role == Qt::EditRole ? QVariant(cellText(p, column)) : QVariant();
}

void PartnerListModel::removeAt(int row) {
    if (row < 0 || row >= m_rows.size())
        return;
    beginRemoveRows({}, row, row);
    m_rows.removeAt(row);
    endRemoveRows();
    m_keysValid = false;
}

void PartnerListModel::replace(int row, const PartnerSite& site) {
    if (row < 0 || row >= m_rows.size())
        return;
    m_rows[row] = site;
    Q_EMIT dataChanged(index(row, 0), index(row, 4));
    m_keysValid = false;
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
    PartnerKeyBuffer key;
    if (!AsciiPartnerKey(address, key))
        return m_keys.contains(PartnerKey(address));
    if (!m_keyLengths.contains(key.size()))
        return false;
    return m_keys.contains(
        QString::fromRawData(reinterpret_cast<const QChar*>(key.constData()), key.size()));
}

// ---- result list ----

ResultListModel::ResultListModel(QObject* parent) : RowTableModel(parent) {}

ResultListModel::~ResultListModel() = default;

const QStringList& ResultListModel::captions() const {
    static const QStringList captions = {
        QStringLiteral("Site"),  QStringLiteral("Status"),     QStringLiteral("No."),
        QStringLiteral("URL"),   QStringLiteral("Link value"), QStringLiteral("Anchor text"),
        QStringLiteral("Change")};
    return captions;
}

QString ResultListModel::cellText(const ResultRow& r, int column) const {
    switch (column) {
    case 0:
        return r.site;
    case 1:
        return r.status;
    case 2:
        return r.number;
    case 3:
        return r.url;
    case 4:
        return r.value;
    case 5:
        return r.anchor;
    case 6:
        return ChangeText(r.change);
    default:
        return {};
    }
}

QVariant ResultListModel::roleData(const ResultRow& r, int column, int role) const {
    if (role == kColourRole && column == 4 && !r.value.isEmpty() && r.value != kLinkCounts)
        return int(RowColour::Warning);
    if (role == kColourRole)
        return int(r.colour);
    if (role == kMarkerRole)
        return int(r.marker);
    return {};
}

void ResultListModel::setStatus(int row, const QString& status, RowColour colour,
                                RowMarker marker) {
    if (row < 0 || row >= m_rows.size())
        return;
    ResultRow& r = m_rows[row];
    r.status = status;
    r.colour = colour;
    r.marker = marker;
    Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
}

QList<const ResultRow*> ChangedSites(const QList<ResultRow>& rows, bool domainInHistory) {
    QList<const ResultRow*> changed;
    QSet<QString> seen;
    for (const ResultRow& r : rows)
        if (r.change != Change::None && (domainInHistory || r.change != Change::NewPartner) &&
            !seen.contains(r.site)) {
            seen.insert(r.site);
            changed.append(&r);
        }
    std::stable_sort(changed.begin(), changed.end(), [](const ResultRow* a, const ResultRow* b) {
        return a->change < b->change; // worst first
    });
    return changed;
}

QList<const ResultRow*> StillLostSites(const QList<ResultRow>& rows) {
    QList<const ResultRow*> out;
    QSet<QString> seen;
    for (const ResultRow& r : rows)
        if (r.lostSince.isValid() && r.change != Change::Lost && !seen.contains(r.site)) {
            seen.insert(r.site);
            out.append(&r);
        }
    return out;
}

void ResultListModel::setChange(const QString& site, Change change, const QDateTime& lostSince) {
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows[row].site != site)
            continue;
        m_rows[row].lostSince = lostSince;
        if (m_rows[row].change == change)
            continue;
        m_rows[row].change = change;
        const QModelIndex cell = index(row, 6);
        Q_EMIT dataChanged(cell, cell);
    }
}

// ---- error list ----

const QStringList& ErrorListModel::captions() const {
    static const QStringList captions = {QStringLiteral("Error"), QStringLiteral("URL")};
    return captions;
}

QString ErrorListModel::cellText(const ErrorRow& e, int column) const {
    return column == 0 ? e.error : column == 1 ? e.url : QString();
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

// ---- verdict texts ----

QString LinkKindText(VerdictKind kind) {
    switch (kind) {
    case VerdictKind::Direct:
        return kDirectLink;
    case VerdictKind::Domain:
        return kDomainLink;
    case VerdictKind::Redirect:
        return kRedirectLink;
    case VerdictKind::Missing:
    case VerdictKind::NoneFound:
        break;
    }
    return {};
}

QString VerdictText(const PartnerVerdict& verdict) {
    switch (verdict.kind) {
    case VerdictKind::Missing:
        return kMissingPrefix + util::ZeroFilled(verdict.missing);
    case VerdictKind::NoneFound:
        return verdict.note.isEmpty()
                   ? kNoneFound
                   : kNoneFound + QStringLiteral(" (") + verdict.note + QLatin1Char(')');
    default:
        return LinkKindText(verdict.kind);
    }
}

QString LinkValueText(const FoundLink& link) {
    return link.reasons ? LinkValueText(*link.reasons) : QString();
}

} // namespace corvantis::scan
