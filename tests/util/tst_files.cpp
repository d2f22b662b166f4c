#include "support/test_env.h"
#include "util/app_folder.h"
#include "util/file_utils.h"
#include "util/user_text_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

using namespace corvantis::util;

using corvantis::testing::ReadBytes;

namespace {
void WriteBytes(const QString& path, const QByteArray& bytes) {
    QVERIFY(corvantis::testing::WriteBytes(path, bytes));
}
} // namespace

class FilesTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private Q_SLOTS:
    void fileNameFromPath_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("windows path") << "C:\\a\\b.txt"
                                      << "b.txt";
        QTest::newRow("bare name") << "b.txt"
                                   << "b.txt";
        QTest::newRow("windows folder") << "C:\\a\\"
                                        << "";
        QTest::newRow("linux path") << "/home/u/a/b.prj"
                                    << "b.prj";
        QTest::newRow("linux folder") << "/home/u/a/"
                                      << "";
        QTest::newRow("mixed separators") << "C:\\a/b\\c.txt"
                                          << "c.txt";
        QTest::newRow("empty") << ""
                               << "";
    }
    void fileNameFromPath() {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(FileNameFromPath(path), expected);
    }

    void fileExists() {
        const QString file = m_dir.filePath(QStringLiteral("Report.html"));
        WriteBytes(file, "x");
        WriteBytes(m_dir.filePath(QStringLiteral(".hidden")), "x");
        QVERIFY(FileExists(file));
        QVERIFY(!FileExists(m_dir.path()));                                   // a folder
        QVERIFY(!FileExists(m_dir.filePath(QStringLiteral("missing.html")))); // absent
        QVERIFY(!FileExists(m_dir.filePath(QStringLiteral(".hidden"))));      // hidden
        QVERIFY(!FileExists(m_dir.filePath(QStringLiteral("report.html"))));  // case counts here
        QVERIFY(!FileExists(QString()));
    }

    void copyFileQuiet() {
        const QString src = m_dir.filePath(QStringLiteral("src.txt"));
        const QString dst = m_dir.filePath(QStringLiteral("dst.txt"));
        WriteBytes(dst, "old");
        CopyFileQuiet(m_dir.filePath(QStringLiteral("nope.txt")), dst);
        QCOMPARE(ReadBytes(dst), QByteArray("old")); // missing source leaves it alone
        WriteBytes(src, "new content");
        CopyFileQuiet(src, dst);
        QCOMPARE(ReadBytes(dst), QByteArray("new content"));
        CopyFileQuiet(src, m_dir.filePath(QStringLiteral("no/such/dir/x.txt"))); // silent
    }

    void readUserText_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("utf-8") << QByteArray("caf\xc3\xa9\r\n")
                               << QString::fromUtf8("caf\u00e9\r\n");
        QTest::newRow("utf-8 bom") << QByteArray("\xef\xbb\xbf"
                                                 "a")
                                   << "a";
        // Only the file's own byte order mark goes; a second U+FEFF is text.
        QTest::newRow("utf-8 bom twice") << QByteArray("\xef\xbb\xbf\xef\xbb\xbf"
                                                       "a")
                                         << QStringLiteral("\ufeffa");
        QTest::newRow("windows-1252") << QByteArray("Z\xfcrich \x80 \x93q\x94\r\n")
                                      << QString::fromUtf8("Z\u00fcrich \u20ac \u201cq\u201d\r\n");
        QTest::newRow("empty") << QByteArray() << "";
        // A DOS end-of-file mark goes, in either encoding; one inside the text stays.
        QTest::newRow("ctrl-z at the end") << QByteArray("a\r\n\x1a") << "a\r\n";
        QTest::newRow("ctrl-z, windows-1252")
            << QByteArray("\xfc\r\n\x1a") << QString::fromUtf8("\u00fc\r\n");
        QTest::newRow("ctrl-z inside") << QByteArray("a\x1a b") << "a\x1a b";
    }
    void readUserText() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        const QString path = m_dir.filePath(QStringLiteral("in.txt"));
        WriteBytes(path, bytes);
        const TextFileRead r = ReadUserTextFile(path);
        QVERIFY(r.ok);
        QCOMPARE(r.text, expected);
    }

    void readMissingFileSaysWhy() {
        const TextFileRead r = ReadUserTextFile(m_dir.filePath(QStringLiteral("absent.prj")));
        QVERIFY(!r.ok);
        QVERIFY(!r.error.isEmpty());
    }

    void writeUserTextRoundTripsAndFailsSafely() {
        const QString path = m_dir.filePath(QStringLiteral("out.prj"));
        const QString text = QString::fromUtf8("\u00e9t\u00e9\r\nline\r\n");
        QCOMPARE(WriteUserTextFile(path, text), QString());
        QCOMPARE(ReadBytes(path), text.toUtf8());
        // A write that cannot happen keeps the old file and says why.
        QDir(m_dir.path()).mkdir(QStringLiteral("ro"));
        const QString ro = m_dir.filePath(QStringLiteral("ro/keep.prj"));
        WriteBytes(ro, "precious");
        QFile::setPermissions(m_dir.filePath(QStringLiteral("ro")),
                              QFile::ReadOwner | QFile::ExeOwner);
        const QString err = WriteUserTextFile(ro, QStringLiteral("new"));
        QFile::setPermissions(m_dir.filePath(QStringLiteral("ro")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (::geteuid() != 0) // root writes anywhere
            QVERIFY(!err.isEmpty());
        const QString bad =
            WriteUserTextFile(m_dir.filePath(QStringLiteral("missing/dir/x.prj")), text);
        QVERIFY(!bad.isEmpty());
        if (::geteuid() != 0)
            QCOMPARE(ReadBytes(ro), QByteArray("precious"));
    }

    void appFolderCopiesAssetsWithoutOverwriting() {
        const QString home = qEnvironmentVariable("CORVANTIS_HOME");
        QDir().mkpath(home + QStringLiteral("/sounds"));
        WriteBytes(home + QStringLiteral("/sounds/finished.wav"), "mine");
        ResetAppFolderForTests();
        QCOMPARE(AppFolder(), QDir::cleanPath(home));
        QCOMPARE(ReadBytes(home + QStringLiteral("/sounds/finished.wav")), QByteArray("mine"));
        QVERIFY(ReadBytes(home + QStringLiteral("/sounds/nextsearch.wav")).startsWith("RIFF"));
        QVERIFY(QFileInfo(home + QStringLiteral("/Project Files")).isDir());
        QCOMPARE(AppFilePath(QStringLiteral("html0.txt")),
                 QDir::cleanPath(home) + QStringLiteral("/html0.txt"));
        // A shipped file the user removed is not brought back at the next start.
        QVERIFY(QFile::remove(home + QStringLiteral("/Help.rtf")));
        ResetAppFolderForTests();
        AppFolder();
        QVERIFY(!QFile::exists(home + QStringLiteral("/Help.rtf")));
        QVERIFY(QFile::exists(home + QStringLiteral("/spider.mdb")));
    }
};

CORVANTIS_TEST_MAIN(FilesTest)
#include "tst_files.moc"
