#include "ui/windows/partner_history_window.h"

#include "history/history_store.h"
#include "ui/common/widgets.h"

#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QScatterSeries>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>

namespace corvantis::ui {

namespace {
const QStringList kColumns{QStringLiteral("Time"), QStringLiteral("Verdict"),
                           QStringLiteral("Links"), QStringLiteral("Page"),
                           QStringLiteral("Link value")};

// The number of links found per scan over time; a single scan is a dot.
QChart* LinksChart(const QList<history::PartnerRecord>& records) {
    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("Links found per scan"));
    chart->legend()->hide();
    auto* line = new QLineSeries(chart);
    auto* dots = new QScatterSeries(chart);
    dots->setMarkerSize(8);
    int most = 1;
    for (const history::PartnerRecord& r : records) {
        const qreal at = qreal(r.time.toMSecsSinceEpoch());
        line->append(at, r.links);
        dots->append(at, r.links);
        most = qMax(most, r.links);
    }
    chart->addSeries(line);
    chart->addSeries(dots);
    dots->setColor(line->color());
    auto* time = new QDateTimeAxis(chart);
    time->setTitleText(QStringLiteral("Scan"));
    if (!records.isEmpty()) {
        // A tenth of the span either side, at least an hour, so that one scan or
        // scans close together still spread; hours shown when the span is short.
        const QDateTime first = records.first().time.toLocalTime();
        const QDateTime last = records.last().time.toLocalTime();
        const qint64 pad = qMax<qint64>(first.secsTo(last) / 10, 3600);
        time->setRange(first.addSecs(-pad), last.addSecs(pad));
        const bool short_ = first.secsTo(last) + 2 * pad <= 3 * 24 * 3600;
        time->setFormat(short_ ? QStringLiteral("d MMM hh:mm") : QStringLiteral("yyyy-MM-dd"));
    }
    auto* count = new QValueAxis(chart);
    count->setRange(0, most + 1);
    count->setLabelFormat(QStringLiteral("%d"));
    count->setTickCount(qMin(most + 2, 11));
    count->setTitleText(QStringLiteral("Links"));
    chart->addAxis(time, Qt::AlignBottom);
    chart->addAxis(count, Qt::AlignLeft);
    for (QAbstractSeries* s :
         {static_cast<QAbstractSeries*>(line), static_cast<QAbstractSeries*>(dots)}) {
        s->attachAxis(time);
        s->attachAxis(count);
    }
    return chart;
}
} // namespace

PartnerHistoryWindow::PartnerHistoryWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmHistory"));
    setWindowTitle(QStringLiteral("Partner History"));
    m_summary =
        Named(new QLabel(this), QStringLiteral("lblHistory"), QStringLiteral("Partner History"));
    m_summary->setWordWrap(true);
    m_table = Named(new QTableWidget(0, int(kColumns.size()), this), QStringLiteral("lstHistory"),
                    QStringLiteral("Past scans"));
    m_table->setHorizontalHeaderLabels(kColumns);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_chart = Named(new QChartView(this), QStringLiteral("chtLinks"),
                    QStringLiteral("Links found per scan"));
    m_chart->setRenderHint(QPainter::Antialiasing);
    m_chart->setMinimumHeight(220);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_chart, 1);
    resize(760, 560);
}

void PartnerHistoryWindow::showPartner(const QString& storePath, const QString& domain,
                                       const QString& partner) {
    setWindowTitle(QStringLiteral("Partner History - ") + partner);
    QString error;
    const QList<history::PartnerRecord> records =
        history::HistoryStore(storePath, util::kWindowBusyTimeout)
            .partnerHistory(domain, partner, error);
    if (!error.isEmpty())
        m_summary->setText(error);
    else if (records.isEmpty())
        m_summary->setText(partner + QStringLiteral(": no scan for ") + domain +
                           QStringLiteral(" recorded yet."));
    else
        m_summary->setText(partner + QStringLiteral(": ") + QString::number(records.size()) +
                           QStringLiteral(" scans for ") + domain + QLatin1Char('.'));
    m_table->setRowCount(int(records.size()));
    // Newest first in the table; the chart runs left to right in time.
    for (int i = 0; i < records.size(); ++i) {
        const history::PartnerRecord& r = records.at(records.size() - 1 - i);
        const QString cells[] = {QLocale().toString(r.time.toLocalTime(), QLocale::ShortFormat),
                                 r.verdict, QString::number(r.links), r.page, r.value};
        for (int c = 0; c < int(std::size(cells)); ++c)
            m_table->setItem(i, c, new QTableWidgetItem(cells[c]));
    }
    m_table->resizeColumnsToContents();
    QChart* old = m_chart->chart();
    m_chart->setChart(LinksChart(records));
    delete old;
}

} // namespace corvantis::ui
