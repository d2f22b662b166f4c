// The main window's regions without the window, a browser or a server: the
// options in and out of the settings store (the options frame, the command
// row's search boxes, the page builder's), partner entry in "Websites", and the
// pace of what a scan shows.
#include "fetch/host_route.h"
#include "scan/scan_engine.h"
#include "support/fakes.h"
#include "support/test_env.h"
#include "ui/main/command_row.h"
#include "ui/main/display_pacing.h"
#include "ui/main/options_frame.h"
#include "ui/main/page_builder.h"
#include "ui/main/websites_frame.h"
#include "util/settings_store.h"
#include "util/text_utils.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>

#include <memory>

using namespace corvantis;
using testing::S;

namespace {

QString Stored(const char* key) {
    return util::ReadSetting(QLatin1String(key), S("<none>"));
}

// Regions as a start makes and loads them, each set in a client area of its own.
struct Regions {
    QWidget client;
    scan::ScanSession session;
    testing::FakeMessages messages;
    testing::FakeFileDialogs dialogs;
    testing::RecordingSound sound;
    scan::HostRouter router;
    scan::ScanEngine engine{session, messages, sound, router};
    ui::DisplayPacing pacing;
};
struct OptionRegions : Regions {
    OptionRegions() {
        (new ui::CommandRow(&client, nullptr))->loadOptions();
        (new ui::OptionsFrame(&client, session.options))->loadOptions();
        (new ui::PageBuilder(&client, session.project, messages, dialogs))->loadOptions();
        client.show();
    }
};
struct Websites : Regions {
    Websites() {
        new ui::WebsitesFrame(&client, session, &engine, messages, pacing);
        client.show();
    }
};

} // namespace

class MainRegionsTest : public QObject {
    Q_OBJECT

    static std::unique_ptr<OptionRegions> open() { return std::make_unique<OptionRegions>(); }
    static std::unique_ptr<Websites> openWebsites() { return std::make_unique<Websites>(); }
    template <typename T = QWidget> static T* find(Regions* w, const char* name) {
        return w->client.findChild<T*>(QLatin1String(name));
    }

private Q_SLOTS:
    void init() { testing::ClearSettingsStore(); }

    // Each option goes to the store the moment its control changes, and the
    // next start begins with it.
    void optionsStoredAtOnce_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("stored");
        for (const char* box :
             {"chkAuto", "chkAuto2", "chkAudioEmail", "chkAudioNext", "chkAudioFinished",
              "chkNewWin", "chkLinkValue", "chkFromHistory", "chkRender", "chkKeepAlive"})
            QTest::newRow(box) << S(box) << S("0");
        QTest::newRow("chkRedirect") << S("chkRedirect") << S("1");
        QTest::newRow("chkAcceptInvalidCerts") << S("chkAcceptInvalidCerts") << S("1");
        QTest::newRow("chkBullet") << S("chkBullet") << S("1");
        QTest::newRow("Combo1") << S("Combo1") << S("1");
        QTest::newRow("Combo2") << S("Combo2") << S("5");
        QTest::newRow("cmbAdvance") << S("cmbAdvance") << S("0");
        QTest::newRow("cmbLastSearch") << S("cmbLastSearch") << S("1");
        QTest::newRow("txtTimeout") << S("txtTimeout") << S("45");
        QTest::newRow("txtHTML3") << S("txtHTML3") << S("<p>\r\n</body>");
    }
    void optionsStoredAtOnce() {
        QFETCH(QString, control);
        QFETCH(QString, stored);
        const QByteArray name = control.toLatin1();
        {
            auto w = open();
            QWidget* c = find(w.get(), name.constData());
            if (auto* box = qobject_cast<QCheckBox*>(c)) {
                // A long caption is a label beside its box; a click on either ticks it.
                QWidget* caption = w->client.findChild<QLabel*>(S("lbl") + control.mid(3));
                QTest::mouseClick(caption ? caption : box, Qt::LeftButton, {},
                                  caption ? QPoint(5, 5) : QPoint(8, box->height() / 2));
            } else if (auto* combo = qobject_cast<QComboBox*>(c)) {
                combo->setCurrentIndex(stored.toInt());
            } else if (auto* line = qobject_cast<QLineEdit*>(c)) {
                line->selectAll();
                QTest::keyClicks(line, stored);
            } else {
                qobject_cast<QPlainTextEdit*>(c)->setPlainText(S("<p>\n</body>"));
            }
            QCOMPARE(Stored(name.constData()), stored);
        }
        auto again = open();
        QWidget* c = find(again.get(), name.constData());
        if (auto* box = qobject_cast<QCheckBox*>(c))
            QCOMPARE(box->isChecked(), stored == S("1"));
        else if (auto* combo = qobject_cast<QComboBox*>(c))
            QCOMPARE(combo->currentIndex(), stored.toInt());
        else if (auto* line = qobject_cast<QLineEdit*>(c))
            QCOMPARE(line->text(), stored);
        else
            QCOMPARE(qobject_cast<QPlainTextEdit*>(c)->toPlainText(), S("<p>\n</body>"));
        // The scan reads these from the start.
        if (control == S("chkAcceptInvalidCerts"))
            QVERIFY(again->session.options.acceptInvalidCertificates);
        if (control == S("chkLinkValue"))
            QVERIFY(!again->session.options.checkLinkValue);
        if (control == S("chkFromHistory"))
            QVERIFY(!again->session.options.startFromHistory);
        if (control == S("chkRender"))
            QVERIFY(!again->session.options.renderPages);
        if (control == S("chkKeepAlive"))
            QVERIFY(!again->session.options.keepAlive);
    }

    // The number boxes: stored under their own keys, taken at once; a number out
    // of range, below or above, is not taken.
    void numberBoxesStoredAtOnce_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("byDefault");
        QTest::addColumn<QString>("outOfRange");
        const auto rows = [](const char* name, const char* box, const char* key,
                             const char* byDefault, int max) {
            for (int outOfRange : {0, max + 1})
                QTest::addRow("%s %d", name, outOfRange)
                    << S(box) << S(key) << S(byDefault) << QString::number(outOfRange);
        };
        rows("lost after", "txtLostAfter", "LostAfter", "1", scan::kMaxLostAfter);
        rows("sites at once", "txtSitesAtOnce", "SitesAtOnce", "4", scan::kMaxSitesAtOnce);
    }
    void numberBoxesStoredAtOnce() {
        QFETCH(QString, box);
        QFETCH(QString, key);
        QFETCH(QString, byDefault);
        QFETCH(QString, outOfRange);
        const auto inUse = [&key](const scan::ScanOptions& o) {
            return key == S("LostAfter") ? o.lostAfter : o.sitesAtOnce;
        };
        auto w = open();
        auto* field = find<QLineEdit>(w.get(), qPrintable(box));
        QCOMPARE(field->text(), byDefault);
        field->selectAll();
        QTest::keyClicks(field, S("3"));
        QCOMPARE(Stored(qPrintable(key)), S("3"));
        QCOMPARE(inUse(w->session.options), 3);
        // Pasted whole: typed, a number passes through others on its way.
        QGuiApplication::clipboard()->setText(outOfRange);
        field->selectAll();
        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(field->text(), S("3"));
        QCOMPARE(Stored(qPrintable(key)), S("3"));
        auto again = open();
        QCOMPARE(find<QLineEdit>(again.get(), qPrintable(box))->text(), S("3"));
        QCOMPARE(inUse(again->session.options), 3);
    }

    void pageLimitFollowsTheListAtOnce() {
        auto w = open();
        auto* advance = find<QComboBox>(w.get(), "cmbAdvance");
        advance->setCurrentIndex(advance->findText(S("1,000")));
        QCOMPARE(Stored("cmbAdvance"), S("5"));
        QCOMPARE(w->session.options.PageLimit, 1000);
    }

    void timeoutBox_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("stored");
        QTest::newRow("letters") << S("abc") << S("60") << S("60");
        QTest::newRow("past 16 bits") << S("32768") << S("60") << S("60");
        QTest::newRow("negative") << S("-5") << S("-5") << S("-5");
        QTest::newRow("spaces kept") << S(" 45 ") << S(" 45 ") << S(" 45 ");
        QTest::newRow("cleared") << QString() << QString() << S("<none>");
    }
    void timeoutBox() {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(QString, stored);
        auto w = open();
        auto* box = find<QLineEdit>(w.get(), "txtTimeout");
        box->setText(typed);
        QCOMPARE(box->text(), shown);
        QCOMPARE(Stored("txtTimeout"), stored);
        QCOMPARE(w->session.options.timeoutSeconds, util::ToInt16(shown).value_or(60));
    }

    void addPartner_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("enterIn"); // empty: the Add button
        QTest::addColumn<QString>("row");     // address|# stored, empty for none
        QTest::addColumn<QString>("message");
        QTest::newRow("scheme and space out, # empty") << "HTTP://Partner.example.com/links.html "
                                                       << ""
                                                       << ""
                                                       << "Partner.example.com/links.html|1"
                                                       << "";
        // A space is no number: the field turns it into "1" as it is typed.
        QTest::newRow("# a space") << "a.example"
                                   << " "
                                   << ""
                                   << "a.example|1"
                                   << "You may only enter numbers in this field.";
        QTest::newRow("Enter in Text1") << "a.example"
                                        << "3"
                                        << "Text1"
                                        << "a.example|3"
                                        << "";
        QTest::newRow("Enter in Text2") << "a.example"
                                        << ""
                                        << "Text2"
                                        << "a.example|1"
                                        << "";
        QTest::newRow("scheme only") << "http://"
                                     << "2"
                                     << ""
                                     << ""
                                     << "Please enter the Website URL first.";
    }
    void addPartner() {
        QFETCH(QString, address);
        QFETCH(QString, expected);
        QFETCH(QString, enterIn);
        QFETCH(QString, row);
        QFETCH(QString, message);
        auto w = openWebsites();
        find<QLineEdit>(w.get(), "Text1")->setText(address);
        find<QLineEdit>(w.get(), "Text2")->setText(expected);
        find<QLineEdit>(w.get(), "Text5")->setText(S("about it"));
        if (enterIn.isEmpty())
            QTest::mouseClick(find(w.get(), "cmdAdd"), Qt::LeftButton);
        else
            QTest::keyClick(find(w.get(), qPrintable(enterIn)), Qt::Key_Return);

        QCOMPARE(w->messages.informed, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(w->session.project.projectSaved(), row.isEmpty());
        if (row.isEmpty()) {
            QCOMPARE(w->session.project.partners.count(), 0);
            // Nothing but the scheme is taken out of the fields.
            QCOMPARE(find<QLineEdit>(w.get(), "Text2")->text(), expected);
            QCOMPARE(find<QLineEdit>(w.get(), "Text5")->text(), S("about it"));
            return;
        }
        QCOMPARE(w->session.project.partners.count(), 1);
        const scan::PartnerSite& p = w->session.project.partners.at(0);
        QCOMPARE(p.address + S("|") + p.linksExpected, row);
        QCOMPARE(p.description, S("about it"));
        for (const char* field : {"Text1", "Text2", "Text3", "Text4", "Text5"})
            QVERIFY2(find<QLineEdit>(w.get(), field)->text().isEmpty(), field);
    }

    void linksExpectedNumbersOnly_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<bool>("refused");
        QTest::newRow("3a") << "3a"
                            << "1" << true;
        QTest::newRow("32767") << "32767"
                               << "32767" << false;
        QTest::newRow("32768") << "32768"
                               << "1" << true;
    }
    void linksExpectedNumbersOnly() {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        QFETCH(bool, refused);
        auto w = openWebsites();
        auto* field = find<QLineEdit>(w.get(), "Text2");
        QTest::keyClicks(field, typed);
        QCOMPARE(field->text(), kept);
        QCOMPARE(w->messages.informed.count(S("You may only enter numbers in this field.")),
                 refused ? 1 : 0);
    }

    void burstOnceStreamPaced() {
        ui::DisplayPacing pacing;
        int ticks = 0;
        connect(&pacing, &ui::DisplayPacing::tick, this, [&] { ++ticks; });
        for (int i = 0; i < 1000; ++i)
            pacing.request();
        QCOMPARE(ticks, 0);
        QTRY_COMPARE(ticks, 1);
        QTest::qWait(100);
        QCOMPARE(ticks, 1);

        QTimer events;
        connect(&events, &QTimer::timeout, &pacing, &ui::DisplayPacing::request);
        events.start(1);
        QElapsedTimer clock;
        clock.start();
        ticks = 0;
        while (clock.elapsed() < 600)
            QTest::qWait(1);
        events.stop();
        // A slow machine ticks less often still, but it does tick during the stream.
        QVERIFY2(ticks >= 2 && ticks <= 24, qPrintable(QString::number(ticks)));
    }
};

CORVANTIS_GUI_TEST_MAIN(MainRegionsTest)
#include "tst_main_regions.moc"
