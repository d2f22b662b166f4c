// The Debian package as a user gets it: cpack builds it from this build tree into
// a temporary folder, dpkg-deb unpacks it there, and the programs run from there,
// corvantis-scan starting the corvantis-render it finds in the package
// (/usr/lib/corvantis/, render_client.cpp). Skipped (exit 77) where dpkg-deb is missing.
#include "support/test_env.h"
#include "support/test_http_server.h"
#include "support/test_process.h"
#include "version_record.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

using corvantis::testing::HttpReply;
using corvantis::testing::ProcessRun;
using corvantis::testing::RunProcess;
using corvantis::testing::S;
using corvantis::testing::TestHttpServer;

namespace {
const QString kVersion = QStringLiteral(CORVANTIS_VERSION_TEXT);
const QString kAppId = QStringLiteral(CORVANTIS_APP_ID);
} // namespace

class PackageTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_deb;
    QString m_root; // the package unpacked: m_root + "/usr/bin/corvantis-scan"
    TestHttpServer m_server;

    QString field(const QString& name) const {
        return RunProcess(S("dpkg-deb"), {S("--field"), m_deb, name}).out.trimmed();
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        // Run as root, corvantis-render runs as nobody, who must reach it in here.
        QVERIFY(QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                        QFile::ExeOwner | QFile::ReadGroup |
                                                        QFile::ExeGroup | QFile::ReadOther |
                                                        QFile::ExeOther));
        const QString out = m_dir.filePath(S("out"));
        const ProcessRun cpack =
            RunProcess(S(CORVANTIS_CPACK),
                       {S("-G"), S("DEB"), S("--config"),
                        S(CORVANTIS_BUILD_DIR "/CPackConfig.cmake"), S("-B"), out},
                       QProcessEnvironment::systemEnvironment(), QString(), 600000);
        QVERIFY2(cpack.exitCode == 0, qPrintable(cpack.out + cpack.err));
        const QStringList debs = QDir(out).entryList({S("*.deb")}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        m_deb = out + u'/' + debs.first();
        const QString arch = RunProcess(S("dpkg"), {S("--print-architecture")}).out.trimmed();
        QCOMPARE(debs.first(), S("corvantis_") + kVersion + u'_' + arch + S(".deb"));
        m_root = m_dir.filePath(S("root"));
        const ProcessRun unpack = RunProcess(S("dpkg-deb"), {S("-x"), m_deb, m_root});
        QVERIFY2(unpack.exitCode == 0, qPrintable(unpack.err));
        QVERIFY(m_server.start());
    }

    void control_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("part"); // what its value holds
        QTest::newRow("Package") << "Package"
                                 << "corvantis";
        QTest::newRow("Version") << "Version" << kVersion;
        QTest::newRow("Section") << "Section"
                                 << "web";
        QTest::newRow("Maintainer") << "Maintainer"
                                    << "<packages@";
        QTest::newRow("Description") << "Description" << CORVANTIS_SUMMARY "\n";
        // dpkg-shlibdeps' libraries, and the plugins it cannot see.
        QTest::newRow("Depends: linked") << "Depends"
                                         << "libqt6webenginecore6 (>=";
        QTest::newRow("Depends: a plugin") << "Depends"
                                           << "libqt6sql6-sqlite";
    }
    void control() {
        QFETCH(QString, name);
        QFETCH(QString, part);
        const QString value = field(name);
        QVERIFY2(value.contains(part), qPrintable(name + S(": ") + value));
    }

    void files_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("program");
        QTest::newRow("corvantis") << "usr/bin/corvantis" << true;
        QTest::newRow("corvantis-scan") << "usr/bin/corvantis-scan" << true;
        QTest::newRow("corvantis-render") << "usr/lib/corvantis/corvantis-render" << true;
        QTest::newRow("man page") << "usr/share/man/man1/corvantis.1.gz" << false;
        QTest::newRow("scanner's man page") << "usr/share/man/man1/corvantis-scan.1.gz" << false;
        QTest::newRow("completion")
            << "usr/share/bash-completion/completions/corvantis-scan" << false;
        QTest::newRow("menu entry")
            << QString(S("usr/share/applications/") + kAppId + S(".desktop")) << false;
        QTest::newRow("metadata") << QString(S("usr/share/metainfo/") + kAppId + S(".metainfo.xml"))
                                  << false;
        QTest::newRow("icon 48") << "usr/share/icons/hicolor/48x48/apps/corvantis.png" << false;
        QTest::newRow("icon 256") << "usr/share/icons/hicolor/256x256/apps/corvantis.png" << false;
        QTest::newRow("copyright") << "usr/share/doc/corvantis/copyright" << false;
        QTest::newRow("changelog") << "usr/share/doc/corvantis/changelog.gz" << false;
    }
    void files() {
        QFETCH(QString, path);
        QFETCH(bool, program);
        const QFileInfo file(m_root + u'/' + path);
        QVERIFY2(file.isFile(), qPrintable(path));
        QCOMPARE(file.isExecutable(), program);
    }

    // Every man page reads without a warning of groff's (as lintian checks it).
    void manPages() {
        const QString folder = m_root + S("/usr/share/man/man1");
        const QStringList pages = QDir(folder).entryList({S("*.1.gz")}, QDir::Files);
        QVERIFY(!pages.isEmpty());
        for (const QString& page : pages) {
            const ProcessRun r =
                RunProcess(S("sh"), {S("-c"), S("gzip -dc \"$1\" | groff -man -Tutf8 -ww -z"),
                                     S("sh"), folder + u'/' + page});
            QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), qPrintable(page + S(": ") + r.err));
        }
    }

    void validates_data() {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("file");
        QTest::newRow("menu entry")
            << "desktop-file-validate" << QStringList()
            << QString(S("usr/share/applications/") + kAppId + S(".desktop"));
        // The metadata with the menu entry it names, as a software centre reads them.
        QTest::newRow("metadata") << "appstreamcli"
                                  << QStringList{S("validate-tree"), S("--no-net")} << "";
    }
    void validates() {
        QFETCH(QString, tool);
        QFETCH(QStringList, args);
        QFETCH(QString, file);
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(tool + S(" is missing (scripts/install-deps installs it)")));
        const ProcessRun r = RunProcess(tool, args << QDir::cleanPath(m_root + u'/' + file));
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
    }

    // Name and version, as Qt's version option prints them; the window's needs no display.
    void version_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("expected");
        QTest::newRow("corvantis")
            << "usr/bin/corvantis" << QString(S("Corvantis ") + kVersion + u'\n');
        QTest::newRow("corvantis-scan")
            << "usr/bin/corvantis-scan" << QString(S("corvantis-scan ") + kVersion + u'\n');
    }
    void version() {
        QFETCH(QString, program);
        QFETCH(QString, expected);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(display));
        const ProcessRun r = RunProcess(m_root + u'/' + program, {S("--version")}, env);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(r.out, expected);
    }

    // One partner, whose link back only its script writes: the scan renders the page,
    // so the unpacked corvantis-scan has found the unpacked corvantis-render.
    void scan() {
        m_server.setReply(S("partner.test/"),
                          HttpReply::html("<html><body><p id=t></p><script>document."
                                          "getElementById('t').innerHTML = '<a href=\"http://my' "
                                          "+ 'site.test/\">Mine</a>';</script></body></html>"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(S("CORVANTIS_RENDER")); // the build tree's, which the tests are given
        const ProcessRun r =
            RunProcess(m_root + S("/usr/bin/corvantis-scan"),
                       {S("--domain"), S("mysite.test"), S("--connect-to"),
                        S("partner.test:127.0.0.1:") + QString::number(m_server.port()),
                        S("--no-history"), S("--timeout"), S("20"), S("partner.test/")},
                       env, QString(), 120000);
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        const QStringList fields = r.out.section(u'\n', 0, 0).split(u'\t');
        QVERIFY2(fields.value(0) == S("result"), qPrintable(r.out + r.err));
        QCOMPARE(fields.value(2) + S(", ") + fields.value(5), S("Direct Link, after JavaScript"));
    }
};

int main(int argc, char** argv) {
    if (QStandardPaths::findExecutable(QStringLiteral("dpkg-deb")).isEmpty()) {
        std::puts("SKIP: dpkg-deb is missing, so the Debian package is neither built nor checked "
                  "(scripts/install-deps installs dpkg-dev)");
        return 77;
    }
    corvantis::testing::TestEnvironment env;
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Corvantis"));
    QCoreApplication::setApplicationName(QStringLiteral("Corvantis"));
    PackageTest tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_package.moc"
