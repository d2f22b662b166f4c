// Replays the committed corpus of fuzz_project_file through the fuzz target's own
// checks, so every build runs those inputs, with any compiler.

#include "../../fuzz/project_file_target.h"
#include "support/test_env.h"

#include <QDir>
#include <QFile>

class ProjectFuzzCorpusTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void replay_data() {
        QTest::addColumn<QString>("path");
        const QString corpus = QFINDTESTDATA("../../fuzz/corpus/fuzz_project_file");
        QVERIFY2(!corpus.isEmpty(), "fuzz/corpus/fuzz_project_file not found");
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
            corvantis::fuzz::ProjectFileOneInput(
                reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())),
            0);
    }
};

CORVANTIS_TEST_MAIN(ProjectFuzzCorpusTest)
#include "tst_project_fuzz_corpus.moc"
