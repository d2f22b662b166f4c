#pragma once

#include <QWidget>

class QChartView;
class QLabel;
class QTableWidget;

namespace corvantis::ui {

// "Partner History": every recorded scan of one partner for the user's domain,
// as a table (time, verdict, links, page, value) and as a chart of the links
// found per scan over time. Read from the history store each time it is shown.
class PartnerHistoryWindow : public QWidget {
    Q_OBJECT
public:
    explicit PartnerHistoryWindow(QWidget* parent = nullptr);

    // Reads the partner's history from the store at storePath and shows it.
    void showPartner(const QString& storePath, const QString& domain, const QString& partner);

private:
    QLabel* m_summary;
    QTableWidget* m_table;
    QChartView* m_chart;
};

} // namespace corvantis::ui
