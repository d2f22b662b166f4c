#pragma once

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace corvantis::testing {

// Gives a test process its own settings store and application folder in a
// temporary folder, so tests never touch the user's files or each other's.
class TestEnvironment {
public:
    TestEnvironment();
    QString root() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

// A text from UTF-8, short for the many literals of data tables.
inline QString S(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Empties the settings store, as on a machine where the program never ran.
void ClearSettingsStore();

// Whole-file reads and writes for checking what the program wrote, byte for byte.
QByteArray ReadBytes(const QString& path);
bool WriteBytes(const QString& path, const QByteArray& bytes);

// The body of a quoted-printable message, decoded.
QByteArray FromQuotedPrintable(QByteArray text);

} // namespace corvantis::testing

#define CORVANTIS_TEST_MAIN(TestObject)                                                            \
    int main(int argc, char** argv) {                                                              \
        corvantis::testing::TestEnvironment env;                                                   \
        QCoreApplication app(argc, argv);                                                          \
        QCoreApplication::setOrganizationName(QStringLiteral("Corvantis"));                        \
        QCoreApplication::setApplicationName(QStringLiteral("Corvantis"));                         \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }

// The same for tests of windows; the test file includes <QApplication>.
#define CORVANTIS_GUI_TEST_MAIN(TestObject)                                                        \
    int main(int argc, char** argv) {                                                              \
        corvantis::testing::TestEnvironment env;                                                   \
        if (::getuid() == 0)                                                                       \
            qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");                                           \
        QApplication app(argc, argv);                                                              \
        QApplication::setOrganizationName(QStringLiteral("Corvantis"));                            \
        QApplication::setApplicationName(QStringLiteral("Corvantis"));                             \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
