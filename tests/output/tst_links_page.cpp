#include "output/links_page.h"
#include "support/fakes.h"
#include "support/test_env.h"
#include "util/app_folder.h"
#include "util/settings_store.h"

#include <QFile>
#include <QTemporaryDir>

using namespace corvantis;
using namespace corvantis::output;
using scan::PartnerSite;
using scan::ResultRow;
using testing::FakeFileDialogs;
using testing::FakeMessages;

using testing::ReadBytes;
using testing::S;
using testing::WriteBytes;

namespace {
ResultRow Row(const char* site, const char* status) {
    return ResultRow{S(site), S(status), S("001"), S(site), {}, {}};
}
} // namespace

class LinksPageTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private Q_SLOTS:
    void partnerField_data() {
        QTest::addColumn<QList<PartnerSite>>("partners");
        QTest::addColumn<QString>("site");
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("expected");
        const PartnerSite bare{S("a.example"), S("1"), {}, {}, {}};
        const PartnerSite full{S("a.example"), S("1"), S("http://a.example/"), S("A"), S("Site A")};
        const int url = int(PartnerField::LinkUrl), text = int(PartnerField::LinkText),
                  desc = int(PartnerField::Description);
        QTest::newRow("no partner: url is the site")
            << QList<PartnerSite>{} << "a.example" << url << "a.example";
        QTest::newRow("no partner: text is the site")
            << QList<PartnerSite>{} << "a.example" << text << "a.example";
        QTest::newRow("no partner: no description")
            << QList<PartnerSite>{} << "a.example" << desc << "";
        QTest::newRow("empty field falls through to a later row")
            << QList<PartnerSite>{bare, full} << "a.example" << text << "A";
        QTest::newRow("first filled row wins")
            << QList<PartnerSite>{full, PartnerSite{S("a.example"), {}, {}, S("B"), {}}}
            << "a.example" << text << "A";
        QTest::newRow("exact letter case") << QList<PartnerSite>{full} << "A.example" << desc << "";
        QTest::newRow("field found")
            << QList<PartnerSite>{full} << "a.example" << url << "http://a.example/";
    }
    void partnerField() {
        QFETCH(QList<PartnerSite>, partners);
        QFETCH(QString, site);
        QFETCH(int, field);
        QFETCH(QString, expected);
        scan::PartnerListModel model;
        model.setRows(partners);
        QCOMPARE(PartnerFieldForSite(model, site, PartnerField(field)), expected);
        // The generator's own lookup agrees with it.
        scan::ResultListModel results;
        results.append(Row(qPrintable(site), "Direct Link"));
        const QString html = BuildLinksHtml(model, results, false, false);
        if (field == int(PartnerField::LinkText))
            QVERIFY2(html.contains(QLatin1Char('>') + expected + S("</a>")), qPrintable(html));
    }

    void entries_data() {
        QTest::addColumn<bool>("bulleted");
        QTest::addColumn<bool>("newWindow");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("entry");
        QTest::newRow("plain") << false << false << ""
                               << "<a href=\"URL\">NAME</a><br><br>\r\n";
        QTest::newRow("new window") << false << true << ""
                                    << "<a href=\"URL\" target=\"_blank\">NAME</a><br><br>\r\n";
        QTest::newRow("description") << false << false << "DESC"
                                     << "<a href=\"URL\">NAME</a><BR>DESC<br><br>\r\n";
        QTest::newRow("new window, description")
            << false << true << "DESC"
            << "<a href=\"URL\" target=\"_blank\">NAME</a><BR>DESC<br><br>\r\n";
        QTest::newRow("bulleted") << true << false << ""
                                  << "<li><a href=\"URL\">NAME</a></li><br><br>\r\n";
        QTest::newRow("bulleted, new window")
            << true << true << ""
            << "<li><a href=\"URL\" target=\"_blank\">NAME</a></li><br><br>\r\n";
        QTest::newRow("bulleted, description")
            << true << false << "DESC"
            << "<li><a href=\"URL\">NAME</a><BR>DESC</li><br><br>\r\n";
        QTest::newRow("bulleted, new window, description")
            << true << true << "DESC"
            << "<li><a href=\"URL\" target=\"_blank\">NAME</a><BR>DESC</li><br><br>\r\n";
        QTest::newRow("one-space description adds nothing")
            << false << false << " "
            << "<a href=\"URL\">NAME</a><br><br>\r\n";
    }
    void entries() {
        QFETCH(bool, bulleted);
        QFETCH(bool, newWindow);
        QFETCH(QString, description);
        QFETCH(QString, entry);
        scan::PartnerListModel partners;
        partners.append({S("s.example"), S("1"), S("http://u.example/"), S("NAME"), description});
        scan::ResultListModel results;
        results.append(Row("s.example", "Direct Link"));
        entry.replace(S("URL"), S("http://u.example/"));
        QCOMPARE(BuildLinksHtml(partners, results, bulleted, newWindow), entry);
    }

    void selection_data() {
        QTest::addColumn<QList<ResultRow>>("results");
        QTest::addColumn<QString>("expected");
        const QString a = S("<a href=\"http://a.example\">a.example</a><br><br>\r\n");
        const QString b = S("<a href=\"http://b.example\">b.example</a><br><br>\r\n");
        QTest::newRow("site once, list order")
            << QList<ResultRow>{Row("b.example", "Direct Link"), Row("a.example", "Redirect Link"),
                                Row("b.example", "Direct Link")}
            << b + a;
        QTest::newRow("domain link, none found and missing skipped")
            << QList<ResultRow>{Row("a.example", "Domain Link"), Row("b.example", "None Found"),
                                Row("a.example", "Missing 001")}
            << "";
        QTest::newRow("non-linking first, linking later")
            << QList<ResultRow>{Row("a.example", "None Found"), Row("a.example", "DIRECT LINK")}
            << a;
        QTest::newRow("'direct' inside a note qualifies")
            << QList<ResultRow>{Row("a.example", "None Found (Possible Redirected URL)")} << a;
    }
    void selection() {
        QFETCH(QList<ResultRow>, results);
        QFETCH(QString, expected);
        scan::PartnerListModel partners;
        scan::ResultListModel model;
        model.setRows(results);
        QCOMPARE(BuildLinksHtml(partners, model, false, false), expected);
    }

    void urlScheme_data() {
        QTest::addColumn<QString>("linkUrl");
        QTest::addColumn<QString>("href");
        QTest::newRow("http kept") << "http://x.example/p"
                                   << "http://x.example/p";
        QTest::newRow("upper-case http kept") << "HTTP://x.example"
                                              << "HTTP://x.example";
        QTest::newRow("https kept") << "https://x.example"
                                    << "https://x.example";
        QTest::newRow("bare host") << "x.example"
                                   << "http://x.example";
    }
    void urlScheme() {
        QFETCH(QString, linkUrl);
        QFETCH(QString, href);
        scan::PartnerListModel partners;
        partners.append({S("s"), S("1"), linkUrl, S("n"), {}});
        scan::ResultListModel results;
        results.append(Row("s", "Direct Link"));
        QVERIFY(BuildLinksHtml(partners, results, false, false)
                    .startsWith(S("<a href=\"") + href + S("\">")));
    }

    void generate() {
        scan::ScanProject s;
        s.txtHTML2 = S("kept");
        FakeMessages messages;
        QVERIFY(!GenerateLinksHtml(s, messages, false, true));
        QCOMPARE(s.txtHTML2, S("kept"));
        QCOMPARE(messages.informed, QStringList{kNoLinksToGenerate});

        s.results.append(Row("a.example", "None Found"));
        QVERIFY(GenerateLinksHtml(s, messages, false, true));
        QCOMPARE(s.txtHTML2, QString()); // nothing qualified: emptied without a message
        QCOMPARE(messages.informed.size(), 1);

        s.results.append(Row("b.example", "Direct Link"));
        QVERIFY(GenerateLinksHtml(s, messages, false, true));
        QCOMPARE(s.txtHTML2,
                 S("<a href=\"http://b.example\" target=\"_blank\">b.example</a><br><br>\r\n"));
        QCOMPARE(util::ReadSetting(S("txtHTML2"), QString()), s.txtHTML2);
    }

    void saveWebpage() {
        scan::ScanProject s;
        s.txtHTML1 = S("<html>");
        s.txtHTML2 = S("<a>\u00e9</a>");
        s.txtHTML3 = S("</html>");
        const QString file = m_dir.filePath(S("links.html"));
        QVERIFY(QFile(file).open(QIODevice::WriteOnly)); // an old file is replaced unasked
        FakeMessages messages;
        FakeFileDialogs dialogs;
        dialogs.paths << file;
        QVERIFY(SaveWebpage(s, messages, dialogs));
        QCOMPARE(ReadBytes(file), QByteArray("<html>\r\n\r\n<a>\xc3\xa9</a>\r\n\r\n</html>\r\n"));
        QCOMPARE(dialogs.shown.at(0).startPath, util::AppFolder());
        QVERIFY(messages.asked.isEmpty());

        QVERIFY(!SaveWebpage(s, messages, dialogs)); // cancelled
        QVERIFY(messages.informed.isEmpty());

        dialogs.paths << file + S("/inside.html"); // a regular file as the folder
        QVERIFY(!SaveWebpage(s, messages, dialogs));
        QCOMPARE(messages.informed.size(), 1);
        QVERIFY(messages.informed.at(0).contains(file + S("/inside.html")));
        QCOMPARE(ReadBytes(file), QByteArray("<html>\r\n\r\n<a>\xc3\xa9</a>\r\n\r\n</html>\r\n"));
    }
};

CORVANTIS_TEST_MAIN(LinksPageTest)
#include "tst_links_page.moc"
