#include "scanner/FormSelectSource.h"

#include "platform/Application.h"
#include "platform/Dialogs.h"
#include "platform/MessageCatalogue.h"
#include "scanner/TwainManager.h"

#include <QCursor>
#include <QFrame>
#include <QGuiApplication>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

TFormSelectSource::TFormSelectSource(QWidget *Parent)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FormSelectSource"));
    setWindowTitle(_("Select source"));
    lbSources = new QListWidget(this);
    lbSources->setObjectName(QStringLiteral("lbSources"));
    panButtons = new QFrame(this);
    panButtons->setObjectName(QStringLiteral("panButtons"));
    panButtons->setFrameShape(QFrame::NoFrame);
    btOk = new QPushButton(_("&OK"), panButtons);
    btOk->setObjectName(QStringLiteral("btOk"));
    btOk->setDefault(true);
    btCancel = new QPushButton(_("&Cancel"), panButtons);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    btOk->resize(75, 25);
    btCancel->resize(75, 25);
    connect(btOk, &QPushButton::clicked, this, [this] { RunGuarded([this] { accept(); }); });
    connect(btCancel, &QPushButton::clicked, this, [this] { RunGuarded([this] { reject(); }); });
    connect(lbSources, &QListWidget::itemDoubleClicked, this,
            [this] { RunGuarded([this] { accept(); }); });

    resize(FormWidth, FormHeight);
    // Centred on the work area of the screen under the mouse pointer.
    QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        const int right = area.x() + area.width();
        const int bottom = area.y() + area.height();
        move((area.x() + right - FormWidth) / 2, (area.y() + bottom - FormHeight) / 2);
    }
    FormResize();
}

void TFormSelectSource::SetSources(const QStringList &Names, int Preselected)
{
    lbSources->clear();
    lbSources->addItems(Names);
    if (Names.isEmpty())
        return;
    lbSources->setCurrentRow(Preselected >= 0 && Preselected < Names.size() ? Preselected : 0);
}

int TFormSelectSource::SelectedIndex() const
{
    return lbSources->currentRow();
}

void TFormSelectSource::resizeEvent(QResizeEvent *Event)
{
    QDialog::resizeEvent(Event);
    RunGuarded([this] { FormResize(); });
}

void TFormSelectSource::FormResize()
{
    lbSources->setGeometry(0, 0, width(), std::max(0, height() - PanelHeight));
    panButtons->setGeometry(0, height() - PanelHeight, width(), PanelHeight);
    const int panelWidth = panButtons->contentsRect().width();
    const int panelHeight = panButtons->contentsRect().height();
    const int top = (panelHeight - btCancel->height()) / 2;
    const int cancelLeft = panelWidth - btCancel->width() - 6;
    btCancel->move(cancelLeft, top);
    btOk->move(cancelLeft - btOk->width() - 6, top);
}

int ChooseSourceWithDialog(const QStringList &Names, int Preselected)
{
    TFormSelectSource form;
    form.SetSources(Names, Preselected);
    if (ShowModal(form) != QDialog::Accepted)
        return -1;
    return form.SelectedIndex();
}

void BindTwainUi(TTwainManager &Manager)
{
    Manager.Chooser = ChooseSourceWithDialog;
    Manager.ErrorReporter = [](const std::exception &Error) { HandleUnhandledError(Error); };
}
