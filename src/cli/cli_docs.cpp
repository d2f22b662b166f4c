#include "cli/cli_docs.h"

#include "cli/option_table.h"

#include <QStringList>

namespace corvantis::cli {

namespace {

// Text as roff shows it: a backslash written out, "-" as a hyphen-minus (it is
// typed in options), no line taken for a request.
QString Roff(const QString& text) {
    QString out = text;
    out.replace(QLatin1Char('\\'), QStringLiteral("\\e"));
    out.replace(QLatin1Char('-'), QStringLiteral("\\-"));
    if (out.startsWith(QLatin1Char('.')) || out.startsWith(QLatin1Char('\'')))
        out.prepend(QStringLiteral("\\&"));
    return out;
}

QString Default(const OptionRow& row) {
    switch (row.defaultFrom) {
    case DefaultFrom::Options:
        return QStringLiteral(" Not given, it comes from the window's options (at first: %1).")
            .arg(row.defaultOf(scan::ScanOptions{}));
    case DefaultFrom::Application:
        return QStringLiteral(" Not given: history.sqlite in the application folder.");
    case DefaultFrom::None:
        break;
    }
    return {};
}

QString OptionsSection() {
    QString out = QStringLiteral(".SH OPTIONS\n");
    for (const OptionRow& row : ScanOptionRows()) {
        out += QStringLiteral(".TP\n\\fB\\-\\-%1\\fR").arg(Roff(QLatin1String(row.name)));
        if (row.valueName)
            out += QStringLiteral(" \\fI%1\\fR").arg(Roff(QLatin1String(row.valueName)));
        out += QLatin1Char('\n') + Roff(QLatin1String(row.help) + Default(row)) +
               QLatin1Char('\n');
    }
    out += QStringLiteral(".TP\n\\fB\\-h\\fR, \\fB\\-\\-help\\fR\nEvery option, with the value "
                          "each comes to now.\n.TP\n\\fB\\-v\\fR, \\fB\\-\\-version\\fR\nThe "
                          "program's name and version.\n");
    return out;
}

const char* const kHead = R"(.TH CORVANTIS-SCAN 1 "%2" "Corvantis %1" "User Commands"
.SH NAME
corvantis-scan \- check link partners' sites for links back, without a window
.SH SYNOPSIS
.B corvantis-scan
[\fIOPTION\fR]... [\fIPARTNER\fR[|\fIN\fR]]...
.br
.B corvantis-scan
\fB\-\-project\fR \fIFILE\fR [\fB\-\-save\fR] [\fIOPTION\fR]...
.br
.B corvantis-scan
\fB\-\-project\fR \fIFILE\fR \fB\-\-schedule\fR \fIWHEN\fR [\fIOPTION\fR]...
.SH DESCRIPTION
.B corvantis-scan
crawls each partner site over HTTP or HTTPS from its start page downward and says
for every partner whether its link back to your domain stands, on which page, and of
which kind (Direct Link, Domain Link, Redirect Link, Missing NNN, None Found), with
the link's value, its anchor text and the change since the last scan.
A partner is an address, optionally with |N, the number of links expected.
.PP
One tab-separated line goes to standard output per result
(\fBresult\fR, site, status, number, address, link value, anchor text, change) and per
error (\fBerror\fR, error, address); \fB\-\-format json\fR prints one JSON document
instead. Options not given come from the options of the window program,
\fBcorvantis\fR(1), and are not changed.
Every scan is recorded in the history; a change is one of Lost, Unconfirmed,
Value changed, Moved, Found and New partner.
)";

const char* const kTail = R"(.SH EXIT STATUS
.TP
.B 0
The scan ran.
.TP
.B 1
Something else failed: the report, the project file, the history or an alert.
.TP
.B 2
The input was refused (an unknown option, a value that cannot be used).
.TP
.B 3
The scan ran and at least one partner's link is Lost (even when a later step failed).
.SH ENVIRONMENT
.TP
.B CORVANTIS_HOME
The application folder, instead of \fI~/.local/share/Corvantis/Corvantis\fR.
A schedule made with it set passes it on to its service.
.TP
.B CORVANTIS_SMTP_PASSWORD
The SMTP password for \fB\-\-smtp\-user\fR, before the desktop's keyring is asked.
.TP
.B CORVANTIS_WEBHOOK_SECRET
The secret the webhook's body is signed with (X\-Corvantis\-Signature: sha256=...),
before the desktop's keyring is asked.
.TP
.B CORVANTIS_RENDER
The page renderer to start instead of \fBcorvantis\-render\fR from its installed place.
.SH FILES
.TP
.I ~/.local/share/Corvantis/Corvantis/
The application folder: the report, project files, the work files.
.TP
.I ~/.local/share/Corvantis/Corvantis/history.sqlite
The history of every scan.
.TP
.I ~/.config/Corvantis/Corvantis.ini
The options the window keeps, read here for every option not given.
.TP
.I ~/.config/systemd/user/corvantis\-*.timer\fR, \fI.service
The scheduled checks (\fB\-\-schedule\fR), one timer and service per project.
.SH EXAMPLES
Scan two partners, one of which promised two links:
.PP
.nf
.RS
corvantis\-scan \-\-domain mysite.example partner.example/links.html|2 other.example
.RE
.fi
.PP
Scan a project, save its results and write the report:
.PP
.nf
.RS
corvantis\-scan \-\-project "my links.prj" \-\-save \-\-report report.html
.RE
.fi
.PP
Check the project every morning and mail what changed:
.PP
.nf
.RS
corvantis\-scan \-\-project "my links.prj" \-\-schedule daily@07:30 \e
    \-\-mail\-to me@mysite.example \-\-smtp smtp://mail.mysite.example:587
.RE
.fi
.SH SEE ALSO
.BR corvantis (1),
.BR systemctl (1)
)";

} // namespace

QString ScanManPage(const QString& version, const QString& date) {
    return QString::fromUtf8(kHead).arg(version, date) + OptionsSection() +
           QString::fromUtf8(kTail);
}

QString ScanBashCompletion() {
    QStringList all{QStringLiteral("--help"), QStringLiteral("--version")};
    QStringList files;
    QStringList valued;
    for (const OptionRow& row : ScanOptionRows()) {
        const QString name = QStringLiteral("--") + QLatin1String(row.name);
        all << name;
        if (row.takesFile)
            files << name;
        else if (row.valueName)
            valued << name;
    }
    return QStringLiteral(
               "# bash completion for corvantis-scan\n"
               "_corvantis_scan() {\n"
               "    local cur=\"${COMP_WORDS[COMP_CWORD]}\" prev=\"${COMP_WORDS[COMP_CWORD-1]}\"\n"
               "    case \"$prev\" in\n"
               "        %1)\n"
               "            COMPREPLY=($(compgen -f -- \"$cur\")); compopt -o filenames; return ;;\n"
               "        --format) COMPREPLY=($(compgen -W \"tsv json\" -- \"$cur\")); return ;;\n"
               "        --schedule) COMPREPLY=($(compgen -W \"daily@ weekly@ off list\" -- "
               "\"$cur\")); compopt -o nospace; return ;;\n"
               "        %2) return ;;\n"
               "    esac\n"
               "    [[ $cur == -* ]] && COMPREPLY=($(compgen -W \"%3\" -- \"$cur\"))\n"
               "}\n"
               "complete -F _corvantis_scan corvantis-scan\n")
        .arg(files.join(QLatin1Char('|')), valued.join(QLatin1Char('|')),
             all.join(QLatin1Char(' ')));
}

} // namespace corvantis::cli
