#pragma once

#include "util/seams.h"

#include <QStringList>

namespace corvantis::testing {

// Records every message and answers questions as told.
class RecordingMessages : public util::Messages {
public:
    void inform(const QString& text, const QString& = QString()) override { texts.append(text); }
    util::Answer ask(const QString& title, const QString& text, util::Question) override {
        texts.append(title + QLatin1Char('|') + text);
        return answer;
    }
    QStringList texts;
    util::Answer answer = util::Answer::No;
};

// Records the sound files played, by file name.
class RecordingSound : public util::SoundPlayer {
public:
    void play(const QString& path) override { played.append(path.section(QLatin1Char('/'), -1)); }
    QStringList played;
};

} // namespace corvantis::testing
