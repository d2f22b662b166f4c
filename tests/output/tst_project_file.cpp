#include "output/links_page.h"
#include "output/project_commands.h"
#include "output/project_file.h"
#include "output/project_format.h"
#include "support/fakes.h"
#include "support/test_env.h"
#include "util/settings_store.h"
#include "util/user_text_file.h"

#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

using namespace corvantis;
using namespace corvantis::output;
using scan::PartnerSite;
using scan::ResultRow;
using scan::RowColour;
using scan::RowMarker;
using testing::FakeFileDialogs;
using testing::FakeMessages;

using testing::ReadBytes;
using testing::S;
using testing::WriteBytes;

namespace {

QStringList PartnerTexts(const QList<PartnerSite>& rows) {
    QStringList out;
    for (const PartnerSite& p : rows)
        out << QStringList{p.address, p.linksExpected, p.htmlLink, p.htmlName, p.description}.join(
            QLatin1Char('|'));
    return out;
}
QStringList ResultTexts(const QList<ResultRow>& rows) {
    QStringList out;
    for (const ResultRow& r : rows)
        out << QString::number(int(r.marker)) + QLatin1Char('|') +
                   QStringList{r.site, r.status, r.number, r.url}.join(QLatin1Char('|')) +
                   (r.value.isEmpty() && r.anchor.isEmpty() ? QString()
                                                            : S("|") + r.value + S("|") + r.anchor);
    return out;
}
ResultRow Result(RowMarker m, const char* site, const char* status, const char* number,
                 const char* url) {
    return ResultRow{S(site),
                     S(status),
                     S(number),
                     S(url),
                     m == RowMarker::Linking ? RowColour::Blue : RowColour::Red,
                     m};
}

// A session with something in every part of a project.
void FillSession(scan::ScanSession& s) {
    s.project.setDomain(QStringLiteral("example.com"));
    s.project.partners.append({S("p1.example/links.html"), S("2"), S("http://p1.example/"),
                               S("P one"), S("First partner")});
    s.project.partners.append({S("p2.example"), S("1"), QString(), QString(), QString()});
    s.project.txtHTML1 = S("<html>\r\n<body>\r\n<p>a ||| b</p>");
    s.project.txtHTML2 = S("<a href=\"x\">x</a><br><br>\r\n");
    s.project.txtHTML3 = S("</body>\n</html>"); // a line break as a Linux text field gives it
    s.project.results.append(Result(RowMarker::Linking, "p1.example/links.html", "Direct Link",
                                    "001", "p1.example/links.html"));
    s.project.results.append(Result(RowMarker::NotLinking, "p2.example",
                                    "None Found (404 Not found)", "000", "p2.example"));
}
} // namespace

class ProjectFileTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

private Q_SLOTS:
    void defaultFileName_data() {
        QTest::addColumn<QString>("domain");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << ""
                               << "Unnamed.prj";
        QTest::newRow("scheme, dots, path") << "http://a.b.c/links"
                                            << "abc.prj";
        QTest::newRow("upper-case https") << "HTTPS://a.b.c/links"
                                          << "abc.prj";
        QTest::newRow("plain host") << "www.example.com"
                                    << "wwwexamplecom.prj";
        QTest::newRow("leading slash not cut") << "/links"
                                               << "/links.prj";
        QTest::newRow("cut at the later slash") << "/a/b"
                                                << "/a.prj";
        QTest::newRow("trailing slash") << "example.com/"
                                        << "examplecom.prj";
    }
    void defaultFileName() {
        QFETCH(QString, domain);
        QFETCH(QString, expected);
        QCOMPARE(DefaultProjectFileName(domain), expected);
    }

    void parse_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("domain");
        QTest::addColumn<QStringList>("partners");
        QTest::addColumn<QStringList>("html"); // "-" for a text the file does not have
        QTest::addColumn<QStringList>("results");
        QTest::addColumn<int>("badLine");
        const QStringList none{S("-"), S("-"), S("-")};
        QTest::newRow("domain only")
            << "example.com"
            << "example.com" << QStringList() << none << QStringList() << 0;
        QTest::newRow("empty domain line")
            << "\r\np\r\n"
            << "" << QStringList{S("p||||")} << none << QStringList() << 0;
        QTest::newRow("address-only partner")
            << "d\r\nsite.com\r\n"
            << "d" << QStringList{S("site.com||||")} << none << QStringList() << 0;
        QTest::newRow("bar in a field shifts, sixth dropped")
            << "d\r\na|1|x|y|z|w\r\n"
            << "d" << QStringList{S("a|1|x|y|z")} << none << QStringList() << 0;
        QTest::newRow("empty section, reading goes on")
            << "d\r\nHTML01:\r\np|1|||\r\n"
            << "d" << QStringList{S("p|1|||")} << QStringList{S(""), S("-"), S("-")}
            << QStringList() << 0;
        QTest::newRow("bars become line breaks")
            << "d\r\nHTML02:a|||b||||c\r\n"
            << "d" << QStringList() << QStringList{S("-"), S("a\r\nb\r\n|c"), S("-")}
            << QStringList() << 0;
        QTest::newRow("marker removed everywhere in its line")
            << "d\r\nHTML02:xHTML02:y HTML01:\r\n"
            << "d" << QStringList() << QStringList{S("-"), S("xy HTML01:"), S("-")} << QStringList()
            << 0;
        QTest::newRow("later section replaces earlier")
            << "d\r\nHTML03:one\r\nHTML03:two\r\n"
            << "d" << QStringList() << QStringList{S("-"), S("-"), S("two")} << QStringList() << 0;
        QTest::newRow("lower-case marker is a partner")
            << "d\r\nhtml01:x\r\nresult:1|a|b|c|d\r\n"
            << "d" << QStringList{S("html01:x||||"), S("result:1|a|b|c|d")} << none << QStringList()
            << 0;
        QTest::newRow("blank lines skipped")
            << "d\r\n\r\n \r\np\r\n\r\n"
            << "d" << QStringList{S("p||||")} << none << QStringList() << 0;
        // After the address: the link value, then the anchor text, which may hold a bar.
        QTest::newRow("results keep order, value and anchor after the address")
            << "d\r\nRESULT:2|s|Direct Link|001|s/p|nofollow|My | site\r\np\r\n"
               "RESULT:1|t|None Found|000|t\r\n"
            << "d" << QStringList{S("p||||")} << none
            << QStringList{S("2|s|Direct Link|001|s/p|nofollow|My | site"),
                           S("1|t|None Found|000|t")}
            << 0;
        QTest::newRow("short result line ends reading")
            << "d\r\np1\r\nRESULT:2|s|Direct Link|001|s\r\nRESULT:2|s|x\r\np2\r\n"
            << "d" << QStringList{S("p1||||")} << none << QStringList{S("2|s|Direct Link|001|s")}
            << 4;
        QTest::newRow("marker not a number ends reading")
            << "d\r\nRESULT:x|s|a|b|c\r\nHTML01:late\r\n"
            << "d" << QStringList() << none << QStringList() << 2;
        QTest::newRow("LF and lone CR end lines too")
            << "d\np1\rp2\r\nHTML01:a"
            << "d" << QStringList{S("p1||||"), S("p2||||")} << QStringList{S("a"), S("-"), S("-")}
            << QStringList() << 0;
    }
    void parse() {
        QFETCH(QString, text);
        QFETCH(QString, domain);
        QFETCH(QStringList, partners);
        QFETCH(QStringList, html);
        QFETCH(QStringList, results);
        QFETCH(int, badLine);
        const ProjectParse p = ParseProjectText(text);
        QVERIFY(p.isProject);
        QCOMPARE(p.data.domain, domain);
        QCOMPARE(PartnerTexts(p.data.partners), partners);
        for (int s = 0; s < 3; ++s)
            QCOMPARE(p.data.html[s].value_or(QStringLiteral("-")), html.at(s));
        QCOMPARE(ResultTexts(p.data.results), results);
        QCOMPARE(p.badLine, badLine);
        // Colours are not stored: they follow the marker.
        for (const ResultRow& r : p.data.results)
            QCOMPARE(r.colour, r.marker == scan::RowMarker::Linking      ? RowColour::Blue
                               : r.marker == scan::RowMarker::NotLinking ? RowColour::Red
                                                                         : RowColour::Default);
    }

    void format() {
        scan::ScanSession s;
        FillSession(s);
        QCOMPARE(ProjectTextFromSession(s.project),
                 S("example.com\r\n"
                   "p1.example/links.html|2|http://p1.example/|P one|First partner\r\n"
                   "p2.example|1|||\r\n"
                   "HTML01:<html>|||<body>|||<p>a ||| b</p>\r\n"
                   "HTML02:<a href=\"x\">x</a><br><br>|||\r\n"
                   "HTML03:</body>|||</html>\r\n"
                   "RESULT:2|p1.example/links.html|Direct Link|001|p1.example/links.html\r\n"
                   "RESULT:1|p2.example|None Found (404 Not found)|000|p2.example\r\n"
                   "\r\n"));
        scan::ScanSession empty;
        empty.project.setDomain(S("d"));
        QCOMPARE(ProjectTextFromSession(empty.project),
                 S("d\r\nHTML01:\r\nHTML02:\r\nHTML03:\r\n\r\n"));
    }

    // Save through the command, open into another session: everything comes back,
    // with "|||" and every line break as CR LF.
    void saveAndOpen() {
        scan::ScanSession s;
        FillSession(s);
        const QString file = path("round.prj");
        FakeMessages messages;
        FakeFileDialogs dialogs;
        dialogs.paths << file;
        QVERIFY(!s.project.projectSaved());
        QVERIFY(SaveProject(s.project, messages, dialogs));
        QVERIFY(s.project.projectSaved());
        QCOMPARE(dialogs.shown.at(0).startPath, ProjectFolder() + S("/examplecom.prj"));
        QCOMPARE(dialogs.shown.at(0).filter, S("Project Files (*.prj)"));

        scan::ScanSession t;
        t.run.errors.append({S("Timeout"), S("x.example")});
        t.run.queue.append({S("q.example/1")});
        t.project.setDomain(S("old.example"));
        dialogs.paths << file;
        QVERIFY(OpenProject(t.project, messages, dialogs));
        QVERIFY(messages.informed.isEmpty());
        QCOMPARE(t.project.domain(), s.project.domain());
        QCOMPARE(t.project.partners.rows(), s.project.partners.rows());
        QCOMPARE(t.project.txtHTML1, S("<html>\r\n<body>\r\n<p>a \r\n b</p>"));
        QCOMPARE(t.project.txtHTML2, s.project.txtHTML2);
        QCOMPARE(t.project.txtHTML3, S("</body>\r\n</html>"));
        QCOMPARE(ResultTexts(t.project.results.rows()), ResultTexts(s.project.results.rows()));
        QCOMPARE(t.project.results.at(0).marker, RowMarker::Linking);
        QCOMPARE(t.project.results.at(1).marker, RowMarker::NotLinking);
        QCOMPARE(t.run.errors.count(), 1); // open leaves errors and queue alone
        QCOMPARE(t.run.queue.count(), 1);
        QVERIFY(t.project.projectSaved());
        QVERIFY(!t.project.ignoreNextDomainChange()); // absorbed by the domain change
        QCOMPARE(util::ReadSetting(S("txtHTML1"), QString()), t.project.txtHTML1);
    }

    // What the writer writes, the reader reads: every control character but tab
    // in any field is saved as a space, and the project opens again.
    void controlCharactersRoundTrip() {
        // "a", every control character from 0x00 to 0x1F, "z"; and how it reads back,
        // with what a line break becomes in a one-line field or in a page-builder text.
        const auto text = [](const QString& lineBreak, bool original) -> QString {
            QString out = S("a");
            for (char16_t c = 0; c < 0x20; ++c)
                out += original || c == u'\t'     ? QString(QChar(c))
                       : c == u'\r' || c == u'\n' ? lineBreak
                                                  : S(" ");
            return out + S("z");
        };
        const QString field = text({}, true);
        scan::ScanSession s;
        s.project.setDomain(field);
        s.project.partners.append({field, field, field, field, field});
        s.project.results.append(
            ResultRow{field, field, field, field, RowColour::Red, RowMarker::NotLinking});
        s.project.txtHTML1 = field;
        const QString file = path("controls.prj");
        QCOMPARE(util::WriteUserTextFile(file, ProjectTextFromSession(s.project)), QString());
        scan::ScanSession t;
        QVERIFY(LoadProjectFile(file, t.project).loaded);
        const QString back = text(S(" "), false);
        QCOMPARE(t.project.domain(), back);
        QCOMPARE(t.project.partners.rows(), (QList<PartnerSite>{{back, back, back, back, back}}));
        QCOMPARE(ResultTexts(t.project.results.rows()),
                 QStringList{S("1|") + QStringList(4, back).join(QLatin1Char('|'))});
        QCOMPARE(t.project.txtHTML1, text(S("\r\n"), false));
    }

    void openWindows1252() {
        const QString file = path("win.prj");
        QVERIFY(WriteBytes(file, "Caf\xe9.example\r\n"
                                 "M\xfcller.example|2|||Sch\xf6ne Seite\r\n"
                                 "HTML01:<p>Gr\xfc\xdf"
                                 "e|||\x80 5</p>\r\n\r\n"));
        scan::ScanSession s;
        const ProjectLoadResult r = LoadProjectFile(file, s.project);
        QVERIFY(r.loaded);
        QCOMPARE(s.project.domain(), S("Caf\u00e9.example"));
        QCOMPARE(s.project.partners.at(0), (PartnerSite{S("M\u00fcller.example"), S("2"), QString(),
                                                        QString(), S("Sch\u00f6ne Seite")}));
        QCOMPARE(s.project.txtHTML1, S("<p>Gr\u00fc\u00dfe\r\n\u20ac 5</p>"));
    }

    void openSameDomainKeepsFlag() {
        const QString file = path("same.prj");
        QVERIFY(WriteBytes(file, "example.com\r\n"));
        scan::ScanSession s;
        s.project.setDomain(S("example.com"));
        QVERIFY(LoadProjectFile(file, s.project).loaded);
        QVERIFY(s.project.projectSaved());
        QVERIFY(s.project.ignoreNextDomainChange()); // no change happened, the next one is absorbed
        s.project.setDomain(S("example.org"));
        QVERIFY(s.project.projectSaved());
        s.project.setDomain(S("example.net"));
        QVERIFY(!s.project.projectSaved());
    }

    void openBadResultLineTells() {
        const QString file = path("bad.prj");
        QVERIFY(WriteBytes(file, "d\r\np1\r\nRESULT:2|a|Direct Link|001|a\r\nRESULT:two|a|b|c|d\r\n"
                                 "p2\r\n"));
        scan::ScanSession s;
        FakeMessages messages;
        FakeFileDialogs dialogs;
        dialogs.paths << file;
        QVERIFY(OpenProject(s.project, messages, dialogs));
        QCOMPARE(PartnerTexts(s.project.partners.rows()), QStringList{S("p1||||")});
        QCOMPARE(s.project.results.count(), 1);
        QCOMPARE(messages.informed.size(), 1);
        QVERIFY(messages.informed.at(0).contains(S("Line 4")));
        QVERIFY(messages.informed.at(0).contains(S("RESULT:two|a|b|c|d")));
    }

    void openNothingChanges_data() {
        QTest::addColumn<QByteArray>("bytes"); // a file that is not there when null
        QTest::addColumn<QString>("said");
        QTest::newRow("empty file") << QByteArray("") << "is empty";
        QTest::newRow("binary file")
            << QByteArray("\x89PNG\r\n\x1a\n\0\0", 10) << "is not a project file";
        QTest::newRow("utf-16 file") << QByteArray("\xff\xfe"
                                                   "d\0\r\0\n\0",
                                                   8)
                                     << "is not a project file";
        QTest::newRow("missing file") << QByteArray() << "could not be read";
    }
    void openNothingChanges() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, said);
        const QString file = path("nothing.prj");
        QFile::remove(file);
        if (!bytes.isNull())
            QVERIFY(WriteBytes(file, bytes));
        scan::ScanSession s;
        FillSession(s);
        const QString before = ProjectTextFromSession(s.project);
        FakeMessages messages;
        FakeFileDialogs dialogs;
        dialogs.paths << file;
        QVERIFY(!OpenProject(s.project, messages, dialogs));
        QCOMPARE(ProjectTextFromSession(s.project), before);
        QVERIFY(!s.project.projectSaved());
        QCOMPARE(messages.informed.size(), 1);
        QVERIFY2(messages.informed.at(0).contains(said), qPrintable(messages.informed.at(0)));
    }

    void newProject() {
        scan::ScanSession s;
        FillSession(s);
        s.run.errors.append({S("Timeout"), S("x")});
        s.run.queue.append({S("x/1")});
        s.project.MarkProjectSaved();
        NewProject(s);
        QCOMPARE(s.project.partners.count() + s.project.results.count() + s.run.queue.count(), 0);
        QCOMPARE(s.run.errors.count(), 1);
        QCOMPARE(s.project.domain(), QString());
        QVERIFY(!s.project.projectSaved()); // emptying the domain is an edit
        QCOMPARE(s.project.txtHTML2,
                 S("Your link HTML will be generate here.  This will be the second "
                   "part of your generated webpage."));
        QCOMPARE(util::ReadSetting(S("txtHTML2"), QString()), s.project.txtHTML2);
    }

    // The file the user had survives a save that fails while writing.
    void failedSaveKeepsOldFile() {
        const QString file = path("keep.prj");
        const QByteArray old = "old.example\r\nHTML01:\r\nHTML02:\r\nHTML03:\r\n\r\n";
        QVERIFY(WriteBytes(file, old));
        scan::ScanSession s;
        FillSession(s);
        s.project.txtHTML2 = QString(20000, QLatin1Char('x')); // well past the size limit below
        FakeMessages messages;
        FakeFileDialogs dialogs;
        dialogs.paths << file; // the retry dialog is then cancelled

        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 4096; // enforced for root as well
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool ok = SaveProject(s.project, messages, dialogs);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);

        QVERIFY(!ok);
        QCOMPARE(ReadBytes(file), old);
        QVERIFY(!s.project.projectSaved());
        QCOMPARE(messages.informed.size(), 1);
        QVERIFY(messages.informed.at(0).contains(file));
        QCOMPARE(dialogs.shown.size(), 2);
        QCOMPARE(dialogs.shown.at(1).startPath, ProjectFolder() + S("/unnamed.prj"));
    }

    void saveRetry_data() {
        QTest::addColumn<bool>("secondGood");
        QTest::newRow("second attempt saves") << true;
        QTest::newRow("second attempt fails too") << false;
    }
    void saveRetry() {
        QFETCH(bool, secondGood);
        const QString plain = path("plainfile");
        QVERIFY(WriteBytes(plain, "x"));
        const QString good = path("second.prj");
        QFile::remove(good);
        scan::ScanSession s;
        FillSession(s);
        FakeMessages messages;
        FakeFileDialogs dialogs;
        dialogs.paths << plain + S("/first.prj") << (secondGood ? good : plain + S("/b.prj"));
        QCOMPARE(SaveProject(s.project, messages, dialogs), secondGood);
        QCOMPARE(dialogs.shown.size(), 2);
        QCOMPARE(messages.informed.size(), secondGood ? 1 : 2);
        QCOMPARE(s.project.projectSaved(), secondGood);
        QCOMPARE(QFile::exists(good), secondGood);
        QCOMPARE(ReadBytes(plain), QByteArray("x"));
    }

    void exitCheck_data() {
        QTest::addColumn<bool>("edited");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("questions");
        QTest::addColumn<int>("dialogs");
        QTest::addColumn<QString>("chosen"); // the file the dialogs return
        QTest::addColumn<bool>("mayClose");
        const QString file = path("exit.prj");
        QTest::newRow("saved: nothing asked")
            << false << int(util::Answer::Yes) << 0 << 0 << file << true;
        QTest::newRow("edited, No") << true << int(util::Answer::No) << 1 << 0 << file << true;
        QTest::newRow("edited, Yes saves")
            << true << int(util::Answer::Yes) << 1 << 1 << file << true;
        QTest::newRow("edited, Yes, dialog cancelled: stays open")
            << true << int(util::Answer::Yes) << 1 << 1 << QString() << false;
        QTest::newRow("edited, Yes, save fails twice: stays open")
            << true << int(util::Answer::Yes) << 1 << 2 << path("no/such/folder/exit.prj") << false;
    }
    void exitCheck() {
        QFETCH(bool, edited);
        QFETCH(int, answer);
        QFETCH(int, questions);
        QFETCH(int, dialogs);
        QFETCH(QString, chosen);
        QFETCH(bool, mayClose);
        scan::ScanSession s;
        if (edited)
            s.project.MarkProjectEdited();
        FakeMessages messages;
        messages.answers << util::Answer(answer);
        FakeFileDialogs files;
        const QString file = path("exit.prj");
        QFile::remove(file);
        files.paths << chosen << chosen;
        QCOMPARE(RunExitCheck(s.project, messages, files), mayClose);
        QCOMPARE(messages.asked.size(), questions);
        QCOMPARE(files.shown.size(), dialogs);
        QCOMPARE(QFile::exists(file), chosen == file && dialogs == 1);
        if (questions)
            QCOMPARE(messages.asked.at(0).title, S("Save Project?"));
    }

    void replaceResultLines_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        const QString r = S("RESULT:2|s|Direct Link|001|s/p\r\n");
        QTest::newRow("in place of the old ones, line ends kept")
            << "d\np|1\r\nRESULT:1|s|None Found|000|s\r\nHTML01:a\r\nRESULT:1|t|x|y|z\n\r\n"
            << S("d\np|1\r\n") + r + S("HTML01:a\r\n\r\n");
        QTest::newRow("none before: after the last filled line")
            << "d\r\nHTML03:x\r\n\r\n \r\n"
            << S("d\r\nHTML03:x\r\n") + r + S("\r\n \r\n");
        QTest::newRow("no final line end") << "d\r\np" << S("d\r\np\r\n") + r;
        QTest::newRow("domain line that looks like a result stays")
            << "RESULT:1|a|b|c|d\r\n"
            << S("RESULT:1|a|b|c|d\r\n") + r;
    }
    void replaceResultLines() {
        QFETCH(QString, before);
        QFETCH(QString, after);
        const QList<ResultRow> rows{Result(RowMarker::Linking, "s", "Direct Link", "001", "s/p")};
        QCOMPARE(ReplaceResultLines(before, rows), after);
        QVERIFY(!ReplaceResultLines(before, {}).contains(S("|Direct Link|")));
    }

    // The command-line scanner's round: load, then write back only the results.
    void writeProjectResults() {
        const QString file = path("scanner.prj");
        QVERIFY(WriteBytes(file, "d\r\np1|1\r\nHTML01:x\r\nRESULT:1|p1|None Found|000|p1\r\n\r\n"));
        scan::ScanSession s;
        QVERIFY(LoadProjectFile(file, s.project).loaded);
        QCOMPARE(s.project.partners.count(), 1);
        s.project.results.setRows(
            {Result(RowMarker::Linking, "p1", "Direct Link", "001", "p1/a.html")});
        QCOMPARE(WriteProjectResults(file, s.project.results.rows()), QString());
        QCOMPARE(
            ReadBytes(file),
            QByteArray("d\r\np1|1\r\nHTML01:x\r\nRESULT:2|p1|Direct Link|001|p1/a.html\r\n\r\n"));
        QVERIFY(WriteBytes(file, ""));
        QVERIFY(!WriteProjectResults(file, s.project.results.rows()).isEmpty());
        QCOMPARE(ReadBytes(file), QByteArray());
    }
};

CORVANTIS_TEST_MAIN(ProjectFileTest)
#include "tst_project_file.moc"
