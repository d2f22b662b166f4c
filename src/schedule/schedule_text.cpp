#include "schedule/schedule_text.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <array>

namespace corvantis::schedule {

namespace {

const std::array<QString, 7> kWeekdays = {
    QStringLiteral("mon"), QStringLiteral("tue"), QStringLiteral("wed"), QStringLiteral("thu"),
    QStringLiteral("fri"), QStringLiteral("sat"), QStringLiteral("sun")};

QString TimeText(const Schedule& s) {
    return s.time.toString(QStringLiteral("HH:mm"));
}

// The words the check runs, in one place for the service and the crontab line;
// --scheduled tells the scan that nobody may be there to see a notification.
QStringList Command(const ScheduledCheck& check) {
    return QStringList{check.scanProgram, QStringLiteral("--project"), check.projectFile,
                       QStringLiteral("--save"), QStringLiteral("--scheduled")} +
           check.extraArguments;
}

// One quoted word of ExecStart= or Environment=. systemd unescapes C escapes
// inside the quotes and expands '%' specifiers everywhere; "$NAME" is expanded
// in the arguments only, so only they double '$'.
QString UnitWord(const QString& text, bool doubleDollar) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'\\' || c == u'"')
            out += u'\\';
        else if (c == u'%' || (doubleDollar && c == u'$'))
            out += c;
        out += c;
    }
    return out + u'"';
}

// The words of ExecStart= or Environment= as UnitWord wrote them, back.
QStringList UnitWords(const QString& text) {
    QStringList words;
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i] == u' ') {
            ++i;
            continue;
        }
        const bool quoted = text[i] == u'"';
        i += quoted ? 1 : 0;
        QString word;
        for (; i < text.size() && text[i] != (quoted ? u'"' : u' '); ++i) {
            const QChar c = text[i];
            const bool doubled = c == u'%' || (c == u'$' && !words.isEmpty());
            if ((c == u'\\' || (doubled && i + 1 < text.size() && text[i + 1] == c)))
                ++i;
            if (i < text.size())
                word += text[i];
        }
        i += quoted ? 1 : 0;
        words.append(word);
    }
    return words;
}

// The value of each "Key=" line of a unit file's text, in order.
QStringList Settings(const QString& text, const QString& key) {
    QStringList values;
    for (const QString& line : text.split(u'\n'))
        if (line.startsWith(key + u'='))
            values.append(line.mid(key.size() + 1));
    return values;
}

QString ShellWord(const QString& text) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_@+=:,./-]+$"));
    if (plain.match(text).hasMatch())
        return text;
    return u'\'' + QString(text).replace(u'\'', QStringLiteral("'\\''")) + u'\'';
}

QString Description(const ScheduledCheck& check) {
    return QStringLiteral("Description=Corvantis check of ") +
           QFileInfo(check.projectFile).fileName().replace(u'%', QStringLiteral("%%")) + u'\n';
}

} // namespace

QString UnitProblem(const ScheduledCheck& check) {
    const auto hasControl = [](const QString& text) {
        return std::any_of(text.begin(), text.end(),
                           [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
    };
    for (const QString& word : Command(check) + check.environment)
        if (hasControl(word))
            return QStringLiteral("a line break or control character in: ") + word.simplified();
    if (check.scanProgram.contains(u'"') || check.scanProgram.contains(u'\\'))
        return QStringLiteral("systemd cannot run a program whose path holds a quote or "
                              "backslash: ") +
               check.scanProgram;
    return {};
}

std::optional<Schedule> ParseSchedule(const QString& text) {
    static const QRegularExpression form(QRegularExpression::anchoredPattern(QStringLiteral(
                                             "(off)|(?:daily|weekly@(mon|tue|wed|thu|fri|sat|sun))@"
                                             "([01][0-9]|2[0-3]):([0-5][0-9])")),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    Schedule s;
    if (m.hasCaptured(1))
        return s;
    s.every = m.hasCaptured(2) ? Every::Weekly : Every::Daily;
    if (s.every == Every::Weekly)
        s.weekday = int(std::find(kWeekdays.begin(), kWeekdays.end(), m.captured(2).toLower()) -
                        kWeekdays.begin()) +
                    1;
    s.time = QTime(m.captured(3).toInt(), m.captured(4).toInt());
    return s;
}

QString ScheduleText(const Schedule& s) {
    switch (s.every) {
    case Every::Daily:
        return QStringLiteral("daily@") + TimeText(s);
    case Every::Weekly:
        return QStringLiteral("weekly@") + kWeekdays.at(s.weekday - 1) + u'@' + TimeText(s);
    case Every::Off:
        break;
    }
    return QStringLiteral("off");
}

QString OnCalendarText(const Schedule& s) {
    if (s.every == Every::Off)
        return {};
    const QString day = s.every == Every::Weekly ? kWeekdays.at(s.weekday - 1) + u' ' : QString();
    return day.left(1).toUpper() + day.mid(1) + QStringLiteral("*-*-* ") + TimeText(s) +
           QStringLiteral(":00");
}

std::optional<Schedule> ParseOnCalendar(const QString& text) {
    static const QRegularExpression form(QRegularExpression::anchoredPattern(
        QStringLiteral("(?:(Mon|Tue|Wed|Thu|Fri|Sat|Sun) )?\\*-\\*-\\* ([0-9]{2}:[0-9]{2}):00")));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    return ParseSchedule((m.hasCaptured(1) ? QStringLiteral("weekly@") + m.captured(1) + u'@'
                                           : QStringLiteral("daily@")) +
                         m.captured(2));
}

QString TimerText(const ScheduledCheck& check) {
    return QStringLiteral("[Unit]\n") + Description(check) + QStringLiteral("\n[Timer]\n") +
           QStringLiteral("OnCalendar=") + OnCalendarText(check.when) + u'\n' +
           QStringLiteral("Persistent=true\n") + // a check missed while off runs at the next start
           QStringLiteral("\n[Install]\nWantedBy=timers.target\n");
}

QString ServiceText(const ScheduledCheck& check) {
    QString text = QStringLiteral("[Unit]\n") + Description(check) +
                   QStringLiteral("\n[Service]\nType=oneshot\n");
    for (const QString& variable : check.environment)
        text += QStringLiteral("Environment=") + UnitWord(variable, false) + u'\n';
    const QStringList command = Command(check);
    text += QStringLiteral("ExecStart=");
    for (qsizetype i = 0; i < command.size(); ++i)
        text += (i ? QStringLiteral(" ") : QString()) + UnitWord(command.at(i), i > 0);
    return text + u'\n';
}

QString CrontabLine(const ScheduledCheck& check) {
    QStringList words;
    words << QString::number(check.when.time.minute()) << QString::number(check.when.time.hour())
          << QStringLiteral("*") << QStringLiteral("*")
          << (check.when.every == Every::Weekly ? QString::number(check.when.weekday % 7)
                                                : QStringLiteral("*"));
    for (const QString& variable : check.environment)
        words << variable.section(u'=', 0, 0) + u'=' + ShellWord(variable.section(u'=', 1));
    // cron runs without the desktop's session bus: no notification could go out.
    QStringList command = Command(check);
    command.removeOne(QStringLiteral("--notify"));
    for (const QString& word : command)
        words << ShellWord(word);
    // cron turns a bare '%' into a line break, quoted or not.
    return words.join(u' ').replace(u'%', QStringLiteral("\\%"));
}

std::optional<ScheduledCheck> CheckOfUnits(const QString& timerText, const QString& serviceText) {
    const std::optional<Schedule> when =
        ParseOnCalendar(Settings(timerText, QStringLiteral("OnCalendar")).value(0));
    if (!when)
        return std::nullopt;
    ScheduledCheck check;
    check.when = *when;
    for (const QString& variable : Settings(serviceText, QStringLiteral("Environment")))
        check.environment += UnitWords(variable);
    const QStringList words =
        UnitWords(Settings(serviceText, QStringLiteral("ExecStart")).value(0));
    check.scanProgram = words.value(0);
    check.projectFile = words.value(words.indexOf(QStringLiteral("--project")) + 1);
    const qsizetype save = words.indexOf(QStringLiteral("--save"));
    if (save > 0)
        check.extraArguments = words.mid(save + 1);
    check.extraArguments.removeAll(QStringLiteral("--scheduled"));
    return check;
}

} // namespace corvantis::schedule
