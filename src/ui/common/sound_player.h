#pragma once

#include "util/seams.h"

#include <QObject>

class QSoundEffect;

namespace corvantis::ui {

// Plays the scan's sound cues without waiting; a cue started while another plays
// replaces it. Where there is no audio device, or the file is missing, nothing happens.
class SoundEffectPlayer : public QObject, public util::SoundPlayer {
    Q_OBJECT
public:
    explicit SoundEffectPlayer(QObject* parent = nullptr);
    void play(const QString& path) override;

private:
    QSoundEffect* m_effect;
};

} // namespace corvantis::ui
