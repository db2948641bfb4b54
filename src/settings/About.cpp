#include "settings/About.h"

#include "BuildDate.h"

#include "platform/AppPaths.h"
#include "platform/Application.h"
#include "platform/Dialogs.h"
#include "platform/MessageCatalogue.h"
#include "settings/VerInfo.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QUrlQuery>
#include <QVBoxLayout>

namespace {

static_assert(BuildDay >= 1 && BuildDay <= 31 && BuildMonth >= 1 && BuildMonth <= 12
              && BuildYear >= 2000);

const QString AuthorName = QStringLiteral("The Quorvath team");
const QString AuthorAddress = QStringLiteral("vellumora@quorvath.com");
const QString MailSubject = QStringLiteral("Vellu Mora feedback");

// A card on a scanner glass, with the scan line passing over it.
QPixmap drawIcon()
{
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);

    QPainterPath card;
    card.addRoundedRect(QRectF(4.5, 1.5, 13, 19), 2, 2);
    QLinearGradient face(0, 0, 0, 22);
    face.setColorAt(0, QColor(0x4A, 0x6F, 0xA5));
    face.setColorAt(1, QColor(0x1E, 0x33, 0x5C));
    painter.fillPath(card, face);
    painter.setPen(QPen(QColor(0x10, 0x1C, 0x33), 1));
    painter.drawPath(card);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xE8, 0xD8, 0xA8));
    painter.drawEllipse(QRectF(7.5, 5, 7, 7));

    painter.setPen(QPen(QColor(0x7F, 0xFF, 0x9F), 2));
    painter.drawLine(QPointF(1, 15), QPointF(21, 15));
    return pixmap;
}

} // namespace

QDate BuildDate()
{
    return QDate(BuildYear, BuildMonth, BuildDay);
}

TfrmAbout::TfrmAbout(QWidget *Parent)
    : QDialog(Parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint),
      OpenUrl([](const QUrl &Url) { return QDesktopServices::openUrl(Url); })
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(_("About"));

    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("imIcon"));
    icon->setPixmap(drawIcon());
    icon->setFixedSize(22, 22);

    TitleLabel = new QLabel(_("Vellu Mora"), this);
    TitleLabel->setObjectName(QStringLiteral("TitleLabel"));
    QFont titleFont = TitleLabel->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    TitleLabel->setFont(titleFont);

    AuthorLabel = new QLabel(AuthorName, this);
    AuthorLabel->setObjectName(QStringLiteral("AuthorLabel"));

    EmailLink = new QLabel(this);
    EmailLink->setObjectName(QStringLiteral("EmailLink"));
    EmailLink->setTextFormat(Qt::RichText);
    EmailLink->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                           .arg(MailToUrl().toString(QUrl::FullyEncoded).toHtmlEscaped(),
                                AuthorAddress.toHtmlEscaped()));
    EmailLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    EmailLink->setOpenExternalLinks(false);
    connect(EmailLink, &QLabel::linkActivated, this, [this] { EmailLinkClick(); });

    VersionLabel = new QLabel(_("Version:"), this);
    VersionLabel->setObjectName(QStringLiteral("VersionLabel"));
    CompilationLabel = new QLabel(_("Compilation:"), this);
    CompilationLabel->setObjectName(QStringLiteral("CompilationLabel"));

    // This release carries no notice; the room for one stays.
    NoticeLabel = new QLabel(this);
    NoticeLabel->setObjectName(QStringLiteral("NoticeLabel"));
    NoticeLabel->setWordWrap(true);

    OkButton = new QPushButton(_("Close"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    QFont buttonFont = OkButton->font();
    buttonFont.setBold(true);
    OkButton->setFont(buttonFont);
    OkButton->setDefault(true);
    OkButton->setAutoDefault(true);
    // Escape rejects the dialog too, so the button is also its cancel button.
    connect(OkButton, &QPushButton::clicked, this, &QDialog::reject);

    auto *title = new QHBoxLayout;
    title->addWidget(icon);
    title->addWidget(TitleLabel, 1);

    auto *rows = new QGridLayout;
    rows->setColumnStretch(1, 1);
    rows->addWidget(new QLabel(_("Author:"), this), 0, 0);
    rows->addWidget(AuthorLabel, 0, 1);
    rows->addWidget(new QLabel(_("Email:"), this), 1, 0);
    rows->addWidget(EmailLink, 1, 1);
    rows->addWidget(new QLabel(_("Version:"), this), 2, 0);
    rows->addWidget(VersionLabel, 2, 1);
    rows->addWidget(new QLabel(_("Compilation"), this), 3, 0);
    rows->addWidget(CompilationLabel, 3, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OkButton);
    buttons->addStretch(1);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(title);
    layout->addSpacing(6);
    layout->addLayout(rows);
    layout->addWidget(NoticeLabel);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QUrl TfrmAbout::MailToUrl()
{
    QUrl url;
    url.setScheme(QStringLiteral("mailto"));
    url.setPath(AuthorAddress);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("subject"), MailSubject);
    url.setQuery(query);
    return url;
}

void TfrmAbout::EmailLinkClick()
{
    if (!OpenUrl(MailToUrl()))
        MessageDlg(_("No mail program could be started. Please write to %1.").arg(AuthorAddress),
                   TMsgDlgType::Error);
}

void TfrmAbout::FormShow()
{
    {
        const TVerInfo verInfo(ExeFileName());
        if (verInfo.HasVerInfo) {
            const quint32 ms = verInfo.FixedFileInfo.dwFileVersionMS;
            const quint32 ls = verInfo.FixedFileInfo.dwFileVersionLS;
            VersionLabel->setText(QString::asprintf("%d.%d.%d.%d", int(ms >> 16), int(ms & 0xFFFF),
                                                    int(ls >> 16), int(ls & 0xFFFF)));
        }
    }
    CompilationLabel->setText(QLocale().toString(BuildDate(), QLocale::ShortFormat));
}

void TfrmAbout::showEvent(QShowEvent *Event)
{
    QDialog::showEvent(Event);
    // A window restored by the desktop is not a new showing.
    if (Event->spontaneous())
        return;
    if (const QScreen *where = screen())
        move(where->availableGeometry().center() - rect().center());
    // Handled here rather than thrown through Qt's event code: the box still
    // shows, with the labels left unfilled.
    RunGuarded([this] { FormShow(); });
}
