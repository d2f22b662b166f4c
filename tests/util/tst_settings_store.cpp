#include "support/test_env.h"
#include "util/settings_store.h"

#include <QFileInfo>
#include <QProcess>

using namespace corvantis::util;

namespace {
QString ReadInNewProcess(const QString& key) {
    QProcess p;
    p.start(QStringLiteral(SETTINGS_PROBE), {key});
    if (!p.waitForFinished(20000))
        return QStringLiteral("<timeout>");
    return QString::fromUtf8(QByteArray::fromHex(p.readAllStandardOutput().trimmed()));
}
} // namespace

class SettingsStoreTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void unwrittenKeyGivesDefault() {
        QCOMPARE(ReadSetting(QStringLiteral("never"), QStringLiteral("60")), QStringLiteral("60"));
        QCOMPARE(ReadInNewProcess(QStringLiteral("never")), QStringLiteral("<default>"));
    }

    void valuesSurviveANewProcess_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("check box") << "chkRedirect"
                                   << "1";
        QTest::newRow("list position") << "Combo1"
                                       << "-1";
        QTest::newRow("multi-line CR LF") << "txtHTML1"
                                          << "<html>\r\n<body>\r\n\r\nend\r\n";
        QTest::newRow("lone CR and LF") << "txtHTML2"
                                        << "a\rb\nc";
        QTest::newRow("ini specials") << "txtHTML3"
                                      << "a=b; c,d \"q\" [s] #h \\ %25";
        QTest::newRow("non-ascii")
            << "getURL1" << QString::fromUtf8("http://s\u00fc.example/\u20ac");
        QTest::newRow("empty") << "txtTimeout"
                               << "";
        QTest::newRow("leading spaces") << "getURL2"
                                        << "  x  ";
    }
    void valuesSurviveANewProcess() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        WriteSetting(key, value);
        QCOMPARE(ReadSetting(key, QStringLiteral("<default>")), value);
        SettingsStore::instance().sync();
        QCOMPARE(ReadInNewProcess(key), value);
    }

    void storeLivesInTheUserConfigFolder() {
        const QString file = SettingsStore::instance().fileName();
        QVERIFY2(file.startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")), qPrintable(file));
        QVERIFY(file.endsWith(QStringLiteral("Corvantis/Corvantis.ini")));
        QVERIFY(QFileInfo::exists(file));
    }
};

CORVANTIS_TEST_MAIN(SettingsStoreTest)
#include "tst_settings_store.moc"
