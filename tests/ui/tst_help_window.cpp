#include "support/test_env.h"

#include "ui/windows/help_window.h"
#include "util/settings_store.h"
#include <QApplication>

#include <QCheckBox>
#include <QFile>
#include <QTextBlock>
#include <QTextBrowser>

using corvantis::testing::ReadBytes;
using corvantis::testing::S;
using corvantis::testing::WriteBytes;
using corvantis::ui::HelpWindow;
using corvantis::util::ReadSetting;
using corvantis::util::WriteSetting;

namespace {

// Bold fragments of the document, in order.
QStringList BoldTexts(const QTextDocument* document) {
    QStringList bold;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().fontWeight() == QFont::Bold)
                bold.append(it.fragment().text());
    return bold;
}

} // namespace

class HelpWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        // The first use of the application folder seeds the help file.
        QVERIFY(QFile::exists(HelpWindow::helpFilePath()));
    }
    void init() {
        // Every test starts from the help file the program ships.
        QFile::remove(HelpWindow::helpFilePath());
        QVERIFY(WriteBytes(HelpWindow::helpFilePath(), ReadBytes(S(":/assets/Help.rtf"))));
        WriteSetting(QStringLiteral("showHelp"), QStringLiteral("1"));
    }

    void missingFileLeavesTheWindowHidden() {
        QVERIFY(QFile::remove(HelpWindow::helpFilePath()));
        HelpWindow window;
        // Start-up and "View Help File" both open it the same way.
        QVERIFY(!window.openIfPresent());
        QVERIFY(!window.isVisible());
        QVERIFY(!window.openIfPresent());
        QVERIFY(!window.isVisible());

        // The file is looked for on every open.
        QVERIFY(WriteBytes(HelpWindow::helpFilePath(), "{\\rtf1 back}"));
        QVERIFY(window.openIfPresent());
        QVERIFY(window.isVisible());
        QCOMPARE(window.findChild<QTextBrowser*>(S("rtf1"))->toPlainText(), QStringLiteral("back"));
    }

    void shippedHelpIsShownFormatted() {
        QVERIFY2(QFile::exists(S(":/assets/Help.rtf")), "Help.rtf is not among the shipped assets");
        HelpWindow window;
        QVERIFY(window.openIfPresent());
        QVERIFY(window.isVisible());
        QCOMPARE(window.objectName(), QStringLiteral("Form8"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Readme/Help"));
        QVERIFY(window.windowFlags() & Qt::WindowStaysOnTopHint);

        const auto* text = window.findChild<QTextBrowser*>(S("rtf1"));
        QVERIFY(text);
        const QString plain = text->toPlainText();
        QVERIFY2(!plain.contains(u'\\') && !plain.contains(u'{'), "RTF source shows");
        QVERIFY2(!plain.contains(QLatin1String("Arial")), "font table shows");
        // The verdicts are explained by their exact names, in bold.
        const QString bold = BoldTexts(text->document()).join(u'|');
        for (const char* verdict : {"\"Direct Link\"", "\"Domain Link\"", "\"Redirect Link\"",
                                    "\"Missing NNN\"", "\"None Found\""})
            QVERIFY2(bold.contains(QLatin1String(verdict)), verdict);
        QVERIFY(text->document()->blockCount() > 50);
    }

    void showAtStartupFollowsTheSetting() {
        HelpWindow window;
        auto* box = window.findChild<QCheckBox*>(S("Check1"));
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("Show at Startup"));

        QVERIFY(window.openIfPresent());
        QVERIFY(box->isChecked());
        box->click();
        QCOMPARE(ReadSetting(QStringLiteral("showHelp"), QString()), QStringLiteral("0"));
        QVERIFY(!HelpWindow::showAtStartup());
        box->click();
        QCOMPARE(ReadSetting(QStringLiteral("showHelp"), QString()), QStringLiteral("1"));

        // A stored value other than "1" shows an empty box and is stored as "0".
        window.close();
        WriteSetting(QStringLiteral("showHelp"), QStringLiteral("yes"));
        QVERIFY(window.openIfPresent());
        QVERIFY(!box->isChecked());
        QCOMPARE(ReadSetting(QStringLiteral("showHelp"), QString()), QStringLiteral("0"));
    }

    void damagedFileShowsWhatItCan() {
        static const char kDamaged[] = "{\\rtf1{\\fonttbl{\\f0 Arial;}}Readable part\\par\\b "
                                       "then \0\xff garbage{{{\\'";
        QVERIFY(WriteBytes(HelpWindow::helpFilePath(), QByteArray(kDamaged, sizeof kDamaged - 1)));
        HelpWindow window;
        QVERIFY(window.openIfPresent());
        const QString plain = window.findChild<QTextBrowser*>(S("rtf1"))->toPlainText();
        QVERIFY2(plain.startsWith(QLatin1String("Readable part\nthen ")), qPrintable(plain));
    }
};

CORVANTIS_GUI_TEST_MAIN(HelpWindowTest)
#include "tst_help_window.moc"
