// The work files are rewritten in place for every page: a shorter page must
// leave nothing of a longer one behind, whichever way each page was written.
#include "page/work_file.h"
#include "support/test_env.h"
#include "util/app_folder.h"

using namespace corvantis;
using namespace corvantis::scan;
using corvantis::testing::ReadBytes;

namespace {
void Write(WorkFile& file, const QString& path, const QByteArray& bytes, bool inPieces) {
    if (!inPieces) {
        file.write(path, bytes);
        return;
    }
    file.begin(path);
    for (qsizetype at = 0; at < bytes.size(); at += 7)
        file.append(bytes.mid(at, 7));
    file.finish();
}
} // namespace

class WorkFileTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rewrittenInPlace_data() {
        QTest::addColumn<bool>("longInPieces");
        QTest::addColumn<bool>("shortInPieces");
        QTest::newRow("whole, whole") << false << false;
        QTest::newRow("pieces, pieces") << true << true;
        QTest::newRow("whole, pieces") << false << true;
        QTest::newRow("pieces, whole") << true << false;
    }
    void rewrittenInPlace() {
        QFETCH(bool, longInPieces);
        QFETCH(bool, shortInPieces);
        const QString path = util::AppFilePath(QStringLiteral("html0.txt"));
        const QByteArray longPage(64 * 1024 + 3, 'L');
        WorkFile file;
        Write(file, path, longPage, longInPieces);
        QCOMPARE(ReadBytes(path), longPage + "\r\n");
        Write(file, path, "short page", shortInPieces);
        QCOMPARE(ReadBytes(path), QByteArray("short page\r\n"));
        Write(file, path, QByteArray(), !shortInPieces);
        QCOMPARE(ReadBytes(path), QByteArray("\r\n"));
        Write(file, path, longPage, longInPieces);
        QCOMPARE(ReadBytes(path), longPage + "\r\n");
    }
};

CORVANTIS_TEST_MAIN(WorkFileTest)
#include "tst_work_file.moc"
