#include "ui/common/stored_controls.h"

#include "util/settings_store.h"

#include <QCheckBox>
#include <QComboBox>

namespace corvantis::ui {

void KeepStored(QCheckBox* box, bool checked) {
    box->setChecked(checked);
    QObject::connect(box, &QCheckBox::toggled, box, [box](bool on) {
        util::WriteSetting(box->objectName(), on ? QStringLiteral("1") : QStringLiteral("0"));
    });
}

void KeepStored(QComboBox* box, int position) {
    box->setCurrentIndex(position);
    QObject::connect(box, &QComboBox::currentIndexChanged, box,
                     [box](int at) { util::WriteSetting(box->objectName(), QString::number(at)); });
}

} // namespace corvantis::ui
