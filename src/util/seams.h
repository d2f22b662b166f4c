#pragma once

#include <QDateTime>
#include <QString>

namespace corvantis::util {

// Where the program meets the person or the machine: message boxes, file
// dialogs, sound and the clock. The windows supply the real ones; tests and the
// command-line scanner supply their own.

enum class Answer { Ok, Cancel, Yes, No };
enum class Question { OkCancel, YesNo };

class Messages {
public:
    virtual ~Messages() = default;
    // An information message with an OK button.
    virtual void inform(const QString& text, const QString& title = QString()) = 0;
    // A question; returns the button chosen.
    virtual Answer ask(const QString& title, const QString& text, Question kind) = 0;
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // Each returns the chosen path, or the empty text when the user cancels.
    virtual QString openFile(const QString& title, const QString& startPath,
                             const QString& filter) = 0;
    virtual QString saveFile(const QString& title, const QString& startPath,
                             const QString& filter) = 0;
};

class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // Starts playing a WAV file and returns at once; a missing file is no error.
    virtual void play(const QString& path) = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

class SilentSound : public SoundPlayer {
public:
    void play(const QString&) override {}
};

} // namespace corvantis::util
