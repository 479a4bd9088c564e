#include "app/items/tableviewmodel.h"

#include "ui/LockGlyph.h"

#include <QPainter>
#include <QPixmap>

namespace {

QIcon lockIcon(bool open)
{
    QPixmap pixmap(48, 48);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    LockGlyph::paint(painter, QRectF(12, 10, 24, 36), open);
    painter.end();
    return QIcon(pixmap);
}

} // namespace

tableviewmodel::tableviewmodel(const QIcon& appicon, const QString& name, const QString& redirectpath,
                               const QString& strstatus, qint64 imagenum, MyProgressIndicator* progressobj,
                               const SharedString& foldersize, const SharedString& tablepercent,
                               const SharedString& strover)
    : m_appicon(appicon), m_name(name), m_redirectpath(redirectpath), m_strstatus(strstatus),
      m_imagenum(imagenum), m_progressobj(progressobj), m_foldersize(foldersize),
      m_tablepercent(tablepercent), m_strover(strover)
{}

QIcon tableviewmodel::lockedIcon()
{
    static const QIcon icon = lockIcon(false);
    return icon;
}

QIcon tableviewmodel::unlockedIcon()
{
    static const QIcon icon = lockIcon(true);
    return icon;
}

bool tableviewmodel::claimsBusy() const
{
    const QString state = m_strover.value();
    return state != kInit && state != kOver && state != kError;
}
