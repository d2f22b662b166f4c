#pragma once

#include "util/seams.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace corvantis::testing {

// Records every message and question and answers questions from a queue
// (Yes or Ok once the queue is empty).
class FakeMessages : public util::Messages {
public:
    struct Asked {
        QString title;
        QString text;
        util::Question kind;
    };

    void inform(const QString& text, const QString& title = QString()) override {
        informed << text;
        informTitles << title;
    }
    util::Answer ask(const QString& title, const QString& text, util::Question kind) override {
        asked.append({title, text, kind});
        if (!answers.isEmpty())
            return answers.takeFirst();
        return kind == util::Question::YesNo ? util::Answer::Yes : util::Answer::Ok;
    }

    QStringList informed;
    QStringList informTitles;
    QList<Asked> asked;
    QList<util::Answer> answers;
};

// Returns queued paths (an empty text is a cancelled dialog; an empty queue
// cancels too) and records how each dialog was opened.
class FakeFileDialogs : public util::FileDialogs {
public:
    struct Shown {
        bool save;
        QString title;
        QString startPath;
        QString filter;
    };

    QString openFile(const QString& title, const QString& startPath,
                     const QString& filter) override {
        shown.append({false, title, startPath, filter});
        return paths.isEmpty() ? QString() : paths.takeFirst();
    }
    QString saveFile(const QString& title, const QString& startPath,
                     const QString& filter) override {
        shown.append({true, title, startPath, filter});
        return paths.isEmpty() ? QString() : paths.takeFirst();
    }

    QStringList paths;
    QList<Shown> shown;
};

// Records the sound files played, by file name.
class RecordingSound : public util::SoundPlayer {
public:
    void play(const QString& path) override { played.append(path.section(QLatin1Char('/'), -1)); }
    QStringList played;
};

class FixedClock : public util::Clock {
public:
    explicit FixedClock(QDateTime when) : m_when(std::move(when)) {}
    QDateTime now() const override { return m_when; }

private:
    QDateTime m_when;
};

} // namespace corvantis::testing
