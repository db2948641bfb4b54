#include "download/Loading.h"

#include "platform/MessageCatalogue.h"

#include <QFrame>
#include <QLabel>
#include <QScreen>

TfrmLoading::TfrmLoading(QWidget *Parent)
    : QDialog(Parent, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Dialog
                          | Qt::WindowDoesNotAcceptFocus)
{
    setObjectName(QStringLiteral("frmLoading"));
    // The dialog behind keeps the focus, so the keyboard goes on from where it
    // was once the notice is gone.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(595, 74);

    Panel = new QFrame(this);
    Panel->setObjectName(QStringLiteral("Panel"));
    Panel->setFrameShape(QFrame::Panel);
    Panel->setFrameShadow(QFrame::Raised);
    Panel->setGeometry(0, 0, 595, 74);

    lbLoading = new QLabel(_("Connecting with server..."), Panel);
    lbLoading->setObjectName(QStringLiteral("lbLoading"));
    lbLoading->setAlignment(Qt::AlignCenter);
    lbLoading->setGeometry(1, 16, 593, 41);
    QFont font = lbLoading->font();
    font.setBold(true);
    font.setPixelSize(32);
    lbLoading->setFont(font);

    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}
