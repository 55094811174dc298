// SPDX-License-Identifier: MIT
#include "ui/pictures.h"

#include <QIcon>
#include <QPixmap>

namespace ui {

QPixmap lit_lamp_picture() { return QPixmap(QStringLiteral(":/movanta/lamp_lit.xpm")); }

QPixmap unlit_lamp_picture() { return QPixmap(QStringLiteral(":/movanta/lamp_unlit.xpm")); }

QIcon movanta_icon()
{
    QIcon icon;
    for (int size : { 16, 32, 48 })
        icon.addFile(QStringLiteral(":/movanta/movanta-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace ui
