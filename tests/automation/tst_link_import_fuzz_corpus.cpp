// Replays the committed corpus of fuzz_link_import through the fuzz target's own
// checks, so every build runs those inputs, with any compiler.

#include "../../fuzz/link_import_target.h"
#include "support/test_env.h"

#include <QDir>
#include <QFile>

class LinkImportFuzzCorpusTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void replay_data() {
        QTest::addColumn<QString>("path");
        const QString corpus = QFINDTESTDATA("../../fuzz/corpus/fuzz_link_import");
        QVERIFY2(!corpus.isEmpty(), "fuzz/corpus/fuzz_link_import not found");
        const QDir dir(corpus);
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        QVERIFY(!files.isEmpty());
        for (const QString& file : files)
            QTest::newRow(file.toUtf8().constData()) << dir.filePath(file);
    }
    void replay() {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray data = file.readAll();
        QCOMPARE(
            corvantis::fuzz::LinkImportOneInput(
                reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())),
            0);
    }
};

CORVANTIS_TEST_MAIN(LinkImportFuzzCorpusTest)
#include "tst_link_import_fuzz_corpus.moc"
