// The change of a partner: its texts, from the one table of changes.
#include "session/scan_types.h"
#include "support/test_env.h"

#include <QTest>

using namespace corvantis;
using scan::Change;
using testing::S;

class ScanTypesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Each change's text, read back as the same change; a text no change has is None.
    void changeTexts_data() {
        QTest::addColumn<int>("change");
        QTest::addColumn<QString>("text");
        QTest::newRow("lost") << int(Change::Lost) << "Lost";
        QTest::newRow("unconfirmed") << int(Change::Unconfirmed) << "Unconfirmed";
        QTest::newRow("value changed") << int(Change::ValueChanged) << "Value changed";
        QTest::newRow("moved") << int(Change::Moved) << "Moved";
        QTest::newRow("found") << int(Change::Found) << "Found";
        QTest::newRow("new partner") << int(Change::NewPartner) << "New partner";
        QTest::newRow("none") << int(Change::None) << "";
    }
    void changeTexts() {
        QFETCH(int, change);
        QFETCH(QString, text);
        QCOMPARE(scan::ChangeText(Change(change)), text);
        QCOMPARE(scan::ChangeText(Change(change)).isNull(), text.isEmpty());
        QCOMPARE(int(scan::ChangeFromText(text)), change);
        QCOMPARE(int(scan::ChangeFromText(QString(text.toLower() + S("!")))), int(Change::None));
    }
};

CORVANTIS_TEST_MAIN(ScanTypesTest)
#include "tst_scan_types.moc"
