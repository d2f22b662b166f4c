#include "ui/common/sound_player.h"

#include "util/file_utils.h"

#include <QSoundEffect>
#include <QUrl>

namespace corvantis::ui {

SoundEffectPlayer::SoundEffectPlayer(QObject* parent)
    : QObject(parent), m_effect(new QSoundEffect(this)) {}

void SoundEffectPlayer::play(const QString& path) {
    if (!util::FileExists(path))
        return;
    m_effect->stop();
    const QUrl source = QUrl::fromLocalFile(path);
    if (m_effect->source() != source)
        m_effect->setSource(source);
    m_effect->play();
}

} // namespace corvantis::ui
