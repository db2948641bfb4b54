#include "settings/Configuration.h"

#include "catalogue/ScanStore.h"
#include "catalogue/StoreFolder.h"
#include "platform/Application.h"
#include "platform/Dialogs.h"
#include "platform/MessageCatalogue.h"
#include "settings/BalloonHint.h"
#include "settings/SettingsStore.h"

#include <QAction>
#include <QCheckBox>
#include <QCollator>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// Adds the items in the order of their (translated) texts under the user's collation.
void addSortedItems(QComboBox *Box, std::vector<std::pair<QString, int>> Items)
{
    const QCollator collator{QLocale()};
    std::stable_sort(Items.begin(), Items.end(), [&collator](const auto &A, const auto &B) {
        return collator.compare(A.first, B.first) < 0;
    });
    for (const auto &[text, value] : Items)
        Box->addItem(text, value);
}

QToolButton *makeHintButton(QWidget *Parent, const QString &Name)
{
    auto *button = new QToolButton(Parent);
    button->setObjectName(Name);
    button->setAutoRaise(true);
    button->setIcon(Parent->style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, Parent));
    button->setIconSize(QSize(16, 16));
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

// A small square with a dot where the watermark would sit; Place 0..8 row by row.
QPixmap positionPicture(int Place)
{
    QPixmap picture(16, 16);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setPen(QColor(96, 96, 96));
    painter.setBrush(Qt::white);
    painter.drawRect(1, 1, 13, 13);
    const int column = Place % 3;
    const int row = Place / 3;
    painter.fillRect(3 + column * 4, 3 + row * 4, 3, 3, Qt::black);
    return picture;
}

template <typename W>
W *named(W *Widget, const char *Name)
{
    Widget->setObjectName(QLatin1String(Name));
    return Widget;
}

} // namespace

TfrmConfiguration::TfrmConfiguration(QWidget *Parent)
    : QDialog(Parent)
{
    setObjectName(QStringLiteral("frmConfiguration"));
    setWindowTitle(_("Configuration"));

    lbTransfer = named(new QLabel(_("Transfer mode"), this), "lbTransfer");
    cbTransfer = named(new QComboBox(this), "cbTransfer");
    addSortedItems(cbTransfer, {{_("Native (default)"), 1}, {_("Memory"), 2}});
    lbTransfer->setBuddy(cbTransfer);
    btHintTransfer = makeHintButton(this, QStringLiteral("btHintTransfer"));

    lbNameBy = named(new QLabel(_("Name files using"), this), "lbNameBy");
    cbNameBy = named(new QComboBox(this), "cbNameBy");
    addSortedItems(cbNameBy,
                   {{_("Card ID (default)"), 0}, {_("Card name"), 1}, {_("Card number"), 2}});
    lbNameBy->setBuddy(cbNameBy);
    btHintNameBy = makeHintButton(this, QStringLiteral("btHintNameBy"));

    lbStoreFolder = named(new QLabel(_("Scan store folder"), this), "lbStoreFolder");
    edStoreFolder = named(new QLineEdit(this), "edStoreFolder");
    edStoreFolder->setPlaceholderText(
        _("Default: %1").arg(QDir::toNativeSeparators(DefaultScanStoreRoot())));
    edStoreFolder->setMinimumWidth(edStoreFolder->fontMetrics().averageCharWidth() * 44);
    lbStoreFolder->setBuddy(edStoreFolder);
    btStoreFolder = named(new QToolButton(this), "btStoreFolder");
    btStoreFolder->setText(QStringLiteral("…"));
    btStoreFolder->setToolTip(_("Choose the folder"));
    connect(btStoreFolder, &QToolButton::clicked, this, [this] { RunGuarded([this] { btStoreFolderClick(); }); });

    chkCheckScans = named(new QCheckBox(_("Check each scan before saving"), this), "chkCheckScans");
    chkCheckScans->setToolTip(_("Asks before saving a scan that shows the previous card again or no card"));

    hintTransfer_ = _("Transfer mode from scanner to PC. Change if you are receiving corrupted image.");
    hintNameBy_ = _("Card names can be ambiguous within set, so use options other than \"Card ID\" "
                    "very carefully!");

    gbOptions = named(new QGroupBox(_("Options"), this), "gbOptions");
    btTest = named(new QPushButton(_("Scanner capabilities"), gbOptions), "btTest");
    btTest->setToolTip(_("Test scanner capabilities"));
    connect(btTest, &QPushButton::clicked, this, [this] { RunGuarded([this] { btTestClick(); }); });
    btManage = named(new QPushButton(_("Scan areas"), gbOptions), "btManage");
    btManage->setEnabled(false);   // until the main window hands over its command
    auto *optionsLayout = new QHBoxLayout(gbOptions);
    optionsLayout->addWidget(btTest);
    optionsLayout->addWidget(btManage);

    gbWatermark = named(new QGroupBox(_("Watermark"), this), "gbWatermark");
    lbWatermarkText = named(new QLabel(_("Text:"), gbWatermark), "lbWatermarkText");
    cbWatermarkText = named(new QComboBox(gbWatermark), "cbWatermarkText");
    // Site names are not translated; the empty item means no watermark.
    cbWatermarkText->addItems({QString(), QStringLiteral("www.vellumora.com"),
                               QStringLiteral("www.quorvath.com")});
    cbWatermarkText->setCurrentIndex(0);
    lbWatermarkText->setBuddy(cbWatermarkText);
    createPositionGroup();
    auto *watermarkLayout = new QGridLayout(gbWatermark);
    watermarkLayout->addWidget(lbWatermarkText, 0, 0);
    watermarkLayout->addWidget(cbWatermarkText, 0, 1);
    watermarkLayout->addWidget(gbPosition, 1, 0, 1, 2);
    watermarkLayout->setColumnStretch(1, 1);

    btOk = named(new QPushButton(_("Ok"), this), "btOk");
    btOk->setDefault(true);
    btCancel = named(new QPushButton(_("Cancel"), this), "btCancel");

    Balloon = new TBalloonHint(this);

    auto *settingsLayout = new QGridLayout;
    settingsLayout->addWidget(lbTransfer, 0, 0);
    settingsLayout->addWidget(cbTransfer, 0, 1);
    settingsLayout->addWidget(btHintTransfer, 0, 2);
    settingsLayout->addWidget(lbNameBy, 1, 0);
    settingsLayout->addWidget(cbNameBy, 1, 1);
    settingsLayout->addWidget(btHintNameBy, 1, 2);
    settingsLayout->addWidget(lbStoreFolder, 2, 0);
    settingsLayout->addWidget(edStoreFolder, 2, 1);
    settingsLayout->addWidget(btStoreFolder, 2, 2);
    settingsLayout->addWidget(chkCheckScans, 3, 0, 1, 3);
    settingsLayout->setColumnStretch(1, 1);

    auto *buttonsLayout = new QHBoxLayout;
    buttonsLayout->addStretch(1);
    buttonsLayout->addWidget(btOk);
    buttonsLayout->addWidget(btCancel);

    auto *mainLayout = new QVBoxLayout(this);
    mainLayout->addLayout(settingsLayout);
    mainLayout->addWidget(gbOptions);
    mainLayout->addWidget(gbWatermark);
    mainLayout->addLayout(buttonsLayout);
    mainLayout->setSizeConstraint(QLayout::SetFixedSize);

    connect(btHintTransfer, &QToolButton::clicked, this, &TfrmConfiguration::btHintTransferClick);
    connect(btHintNameBy, &QToolButton::clicked, this, &TfrmConfiguration::btHintNameByClick);
    connect(btManage, &QPushButton::clicked, this, [this] {
        if (scanSizeAction_)
            scanSizeAction_->trigger();
    });
    // A settings store that cannot be written is reported here rather than
    // unwinding through Qt's button code; the dialog then stays open.
    connect(btOk, &QPushButton::clicked, this, [this] { RunGuarded([this] { btOkClick(); }); });
    connect(btCancel, &QPushButton::clicked, this, &TfrmConfiguration::btCancelClick);
}

void TfrmConfiguration::createPositionGroup()
{
    gbPosition = named(new QGroupBox(_("Position"), gbWatermark), "gbPosition");
    auto *grid = new QGridLayout(gbPosition);
    grid->setHorizontalSpacing(24);
    for (int place = 0; place < 9; ++place) {
        const int number = place + 1;
        auto *cell = new QHBoxLayout;
        cell->setSpacing(2);
        auto *button = new QRadioButton(gbPosition);
        button->setObjectName(QStringLiteral("rb%1").arg(number));
        positionButtons_[place] = button;
        cell->addWidget(button);
        if (place == 4) {
            button->setText(QStringLiteral("\u25CF"));
        } else {
            auto *picture = new QLabel(gbPosition);
            picture->setObjectName(QStringLiteral("im%1").arg(number));
            picture->setPixmap(positionPicture(place));
            picture->setFixedSize(16, 16);
            picture->installEventFilter(this);
            positionImages_[place] = picture;
            cell->addWidget(picture);
        }
        cell->addStretch(1);
        grid->addLayout(cell, place / 3, place % 3);
    }
    rb1 = positionButtons_[0];
    rb2 = positionButtons_[1];
    rb3 = positionButtons_[2];
    rb4 = positionButtons_[3];
    rb5 = positionButtons_[4];
    rb6 = positionButtons_[5];
    rb7 = positionButtons_[6];
    rb8 = positionButtons_[7];
    rb9 = positionButtons_[8];
    im1 = positionImages_[0];
    im2 = positionImages_[1];
    im3 = positionImages_[2];
    im4 = positionImages_[3];
    im6 = positionImages_[5];
    im7 = positionImages_[6];
    im8 = positionImages_[7];
    im9 = positionImages_[8];
    rb8->setChecked(true);
}

bool TfrmConfiguration::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(Event);
        for (int place = 0; place < 9; ++place) {
            QLabel *picture = positionImages_[place];
            if (picture && Watched == picture && mouse->button() == Qt::LeftButton
                && picture->rect().contains(mouse->position().toPoint())) {
                positionButtons_[place]->setChecked(true);
                return true;
            }
        }
    }
    return QDialog::eventFilter(Watched, Event);
}

QString TfrmConfiguration::WatermarkText() const
{
    return cbWatermarkText->currentText();
}

int TfrmConfiguration::WatermarkPosition() const
{
    for (int place = 0; place < 9; ++place) {
        if (positionButtons_[place]->isChecked())
            return place + 1;
    }
    return 8;
}

void TfrmConfiguration::LoadSettings()
{
    const TStoredSettings stored = LoadSettingsValues();
    SettingsKeyExisted = stored.KeyExisted;
    TransferMode = stored.TransferMode;
    FileNames = stored.FileNames;
    LastUsedScanArea = stored.LastUsedScanArea;
    ScanStoreFolder = stored.ScanStoreFolder;
    CheckScans = stored.CheckScans;
    // A stored text that is none of the items leaves the choice as it is; a
    // missing one reads as empty, which selects the "no watermark" item.
    const int watermark = cbWatermarkText->findText(stored.WatermarkText);
    if (watermark >= 0)
        cbWatermarkText->setCurrentIndex(watermark);
}

void TfrmConfiguration::SaveSettings()
{
    TStoredSettings values;
    values.TransferMode = TransferMode;
    values.FileNames = FileNames;
    values.LastUsedScanArea = LastUsedScanArea;
    values.WatermarkText = WatermarkText();
    values.ScanStoreFolder = ScanStoreFolder;
    values.CheckScans = CheckScans;
    SaveSettingsValues(values);
}

void TfrmConfiguration::SetScanSizeAction(QAction *Action)
{
    if (scanSizeAction_)
        disconnect(scanSizeAction_, nullptr, this, nullptr);
    scanSizeAction_ = Action;
    btManage->setEnabled(Action && Action->isEnabled());
    if (Action) {
        btManage->setToolTip(Action->toolTip());
        connect(Action, &QAction::changed, this,
                [this] { btManage->setEnabled(scanSizeAction_ && scanSizeAction_->isEnabled()); });
    }
}

void TfrmConfiguration::FormShow()
{
    cbTransfer->setCurrentIndex(cbTransfer->findData(static_cast<int>(TransferMode)));
    cbNameBy->setCurrentIndex(cbNameBy->findData(FileNames));
    edStoreFolder->setText(QDir::toNativeSeparators(ScanStoreFolder));
    chkCheckScans->setChecked(CheckScans);
}

void TfrmConfiguration::btOkClick()
{
    // A store folder that cannot be used is refused while the operator is here
    // to mend it, not discovered at the first scan.
    const QString storeFolder = QDir::fromNativeSeparators(edStoreFolder->text().trimmed());
    if (!storeFolder.isEmpty()) {
        const QString problem = StoreFolderProblem(storeFolder);
        if (!problem.isEmpty()) {
            MessageDlg(_("The scan store folder \"%1\" cannot be used: %2.")
                           .arg(QDir::toNativeSeparators(storeFolder), problem),
                       TMsgDlgType::Error);
            edStoreFolder->setFocus();
            return;
        }
    }
    ScanStoreFolder = storeFolder;
    if (cbTransfer->currentIndex() >= 0)
        TransferMode = static_cast<quint8>(cbTransfer->currentData().toInt());
    if (cbNameBy->currentIndex() >= 0)
        FileNames = cbNameBy->currentData().toInt();
    CheckScans = chkCheckScans->isChecked();
    SaveSettings();
    accept();
}

void TfrmConfiguration::btCancelClick()
{
    reject();
}

void TfrmConfiguration::btHintTransferClick()
{
    Balloon->ShowAt(cbTransfer, _("Information"), hintTransfer_);
}

void TfrmConfiguration::btHintNameByClick()
{
    Balloon->ShowAt(cbNameBy, _("Information"), hintNameBy_);
}

void TfrmConfiguration::showEvent(QShowEvent *Event)
{
    if (!Event->spontaneous())
        FormShow();
    QDialog::showEvent(Event);
}

void TfrmConfiguration::hideEvent(QHideEvent *Event)
{
    // A balloon left behind would float over whatever window comes next.
    Balloon->hide();
    QDialog::hideEvent(Event);
}

void TfrmConfiguration::btStoreFolderClick()
{
    const QString start = edStoreFolder->text().trimmed();
    const QString chosen = Dialogs().GetExistingDirectory(this, _("Scan store folder"), start);
    if (!chosen.isEmpty())
        edStoreFolder->setText(QDir::toNativeSeparators(chosen));
}

void TfrmConfiguration::btTestClick()
{
    if (TestScanner)
        TestScanner();
}
