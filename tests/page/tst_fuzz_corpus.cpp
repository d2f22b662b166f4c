// Replays the committed fuzz corpus through the same bodies the libFuzzer
// targets run, so every build checks those inputs and their invariants, with
// any compiler. A broken invariant aborts with the input's texts.

#include "../../fuzz/http_response_target.h"
#include "../../fuzz/link_extraction_target.h"
#include "../../fuzz/link_import_target.h"
#include "../../fuzz/project_file_target.h"
#include "../../fuzz/robots_txt_target.h"
#include "../../fuzz/url_rules_target.h"
#include "support/test_env.h"

#include <QDir>
#include <QFile>

namespace {

using Body = int (*)(const std::uint8_t*, std::size_t);

struct Target {
    const char* name;
    Body body;
};

const Target kTargets[] = {
    {"fuzz_url_rules", &corvantis::fuzz::UrlRulesOneInput},
    {"fuzz_link_extraction", &corvantis::fuzz::LinkExtractionOneInput},
    {"fuzz_http_response", &corvantis::fuzz::HttpResponseOneInput},
    {"fuzz_project_file", &corvantis::fuzz::ProjectFileOneInput},
    {"fuzz_link_import", &corvantis::fuzz::LinkImportOneInput},
    {"fuzz_robots_txt", &corvantis::fuzz::RobotsTxtOneInput},
};

} // namespace

Q_DECLARE_METATYPE(Body)

class FuzzCorpusTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void replay_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<Body>("body");
        const QString corpus = QFINDTESTDATA("../../fuzz/corpus");
        QVERIFY2(!corpus.isEmpty(), "fuzz/corpus not found");
        for (const Target& t : kTargets) {
            const QDir dir(corpus + QLatin1Char('/') + QLatin1String(t.name));
            const QStringList files = dir.entryList(QDir::Files, QDir::Name);
            QVERIFY2(!files.isEmpty(), t.name);
            for (const QString& file : files) {
                const QByteArray row = QByteArray(t.name) + '/' + file.toUtf8();
                QTest::newRow(row.constData()) << dir.filePath(file) << t.body;
            }
        }
    }
    void replay() {
        QFETCH(QString, path);
        QFETCH(Body, body);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray data = file.readAll();
        QCOMPARE(
            body(reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())),
            0);
    }
};

CORVANTIS_TEST_MAIN(FuzzCorpusTest)
#include "tst_fuzz_corpus.moc"
