#include "scanareas/CustomizeFormat.h"

#include "platform/Dialogs.h"
#include "platform/Keys.h"
#include "platform/MessageCatalogue.h"
#include "scanareas/DecimalText.h"
#include "scanareas/ScanArea.h"
#include "scanareas/ScanAreaStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QValidator>
#include <QVBoxLayout>

#include <algorithm>

namespace {

template <typename Widget>
Widget *named(Widget *W, const char *Name)
{
    W->setObjectName(QLatin1String(Name));
    return W;
}

// Characters a coordinate box takes: digits and both separators. Control
// characters (Backspace, Tab, Enter, Escape) and shortcuts pass on unchanged.
bool isRefusedCharacter(const QKeyEvent &Key)
{
    if (Key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString text = Key.text();
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            continue;
        const bool allowed = (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                             || c == QLatin1Char(',') || c == QLatin1Char('.');
        if (!allowed)
            return true;
    }
    return false;
}

// Pasted or dropped text is filtered like typed text: only digits and the two
// separators stay.
class TCoordinateValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &Input, int &Pos) const override
    {
        QString kept;
        int keptBeforeCursor = 0;
        for (int i = 0; i < Input.size(); ++i) {
            const QChar c = Input[i];
            if ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char(',')
                || c == QLatin1Char('.')) {
                kept += c;
                if (i < Pos)
                    ++keptBeforeCursor;
            }
        }
        Input = kept;
        Pos = keptBeforeCursor;
        return Acceptable;
    }
};

} // namespace

TfrmCustomizeFormat::TfrmCustomizeFormat(QWidget *Parent)
    : QDialog(Parent)
{
    setObjectName(QStringLiteral("frmCustomizeFormat"));

    gbGeneral = named(new QGroupBox(_("General"), this), "gbGeneral");
    lbName = named(new QLabel(_("Name"), gbGeneral), "lbName");
    edName = named(new QLineEdit(gbGeneral), "edName");
    lbQuality = named(new QLabel(_("Quality"), gbGeneral), "lbQuality");
    cbQuality = named(new QComboBox(gbGeneral), "cbQuality");
    lbUnits = named(new QLabel(_("Units"), gbGeneral), "lbUnits");
    cbUnits = named(new QComboBox(gbGeneral), "cbUnits");
    lbName->setBuddy(edName);
    lbQuality->setBuddy(cbQuality);
    lbUnits->setBuddy(cbUnits);

    cbQuality->addItem(_("Medium (150dpi)"), QualityMedium);
    cbQuality->addItem(_("High (300dpi)"), QualityHigh);
    cbQuality->addItem(_("Very High (600dpi)"), QualityVeryHigh);
    cbUnits->addItem(_("Centimeters"), int(UnitsCentimeters));
    cbUnits->addItem(_("Inches"), int(UnitsInches));
    cbUnits->addItem(_("Pixels"), int(UnitsPixels));

    auto *general = new QGridLayout(gbGeneral);
    general->addWidget(lbName, 0, 0);
    general->addWidget(edName, 0, 1);
    general->addWidget(lbQuality, 1, 0);
    general->addWidget(cbQuality, 1, 1);
    general->addWidget(lbUnits, 2, 0);
    general->addWidget(cbUnits, 2, 1);
    general->setColumnStretch(1, 1);

    gbPosition = named(new QGroupBox(_("Position"), this), "gbPosition");
    lbLeft = named(new QLabel(_("Left"), gbPosition), "lbLeft");
    edLeft = named(new QLineEdit(gbPosition), "edLeft");
    lbTop = named(new QLabel(_("Top"), gbPosition), "lbTop");
    edTop = named(new QLineEdit(gbPosition), "edTop");
    lbWidth = named(new QLabel(_("Width"), gbPosition), "lbWidth");
    edWidth = named(new QLineEdit(gbPosition), "edWidth");
    lbHeight = named(new QLabel(_("Height"), gbPosition), "lbHeight");
    edHeight = named(new QLineEdit(gbPosition), "edHeight");
    auto *position = new QGridLayout(gbPosition);
    const std::pair<QLabel *, QLineEdit *> boxes[] = {
        {lbLeft, edLeft}, {lbTop, edTop}, {lbWidth, edWidth}, {lbHeight, edHeight}};
    for (int i = 0; i < 4; ++i)
        addNumberBox(*position, boxes[i].first, boxes[i].second, i / 2, (i % 2) * 2);

    gbCard = named(new QGroupBox(_("Card"), this), "gbCard");
    cbCropToCard = named(new QCheckBox(_("Straighten and crop to the card"), gbCard), "cbCropToCard");
    cbSeveralCards = named(new QCheckBox(_("Several cards per scan"), gbCard), "cbSeveralCards");
    lbCardWidth = named(new QLabel(_("Card width"), gbCard), "lbCardWidth");
    edCardWidth = named(new QLineEdit(gbCard), "edCardWidth");
    lbCardHeight = named(new QLabel(_("Card height"), gbCard), "lbCardHeight");
    edCardHeight = named(new QLineEdit(gbCard), "edCardHeight");
    auto *card = new QGridLayout(gbCard);
    card->addWidget(cbCropToCard, 0, 0, 1, 4);
    card->addWidget(cbSeveralCards, 1, 0, 1, 4);
    addNumberBox(*card, lbCardWidth, edCardWidth, 2, 0);
    addNumberBox(*card, lbCardHeight, edCardHeight, 2, 2);
    // One card cut from the frame, or every card on it: one or the other.
    connect(cbCropToCard, &QCheckBox::toggled, this, [this](bool On) {
        if (On)
            cbSeveralCards->setChecked(false);
        updateCardFields();
    });
    connect(cbSeveralCards, &QCheckBox::toggled, this, [this](bool On) {
        if (On)
            cbCropToCard->setChecked(false);
        updateCardFields();
    });
    updateCardFields();

    btSet = named(new QPushButton(_("Set"), this), "btSet");
    btCancel = named(new QPushButton(_("Cancel"), this), "btCancel");
    // Enter in the name box must not accept the area by itself: no button is
    // the dialog's default.
    btSet->setAutoDefault(false);
    btCancel->setAutoDefault(false);
    connect(btSet, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btSet);
    buttons->addWidget(btCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(gbGeneral);
    layout->addWidget(gbPosition);
    layout->addWidget(gbCard);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(edName, cbQuality);
    setTabOrder(cbQuality, cbUnits);
    setTabOrder(cbUnits, edLeft);
    setTabOrder(edLeft, edTop);
    setTabOrder(edTop, edWidth);
    setTabOrder(edWidth, edHeight);
    setTabOrder(edHeight, cbCropToCard);
    setTabOrder(cbCropToCard, cbSeveralCards);
    setTabOrder(cbSeveralCards, edCardWidth);
    setTabOrder(edCardWidth, edCardHeight);
    setTabOrder(edCardHeight, btSet);
    setTabOrder(btSet, btCancel);
}

void TfrmCustomizeFormat::addNumberBox(QGridLayout &Grid, QLabel *Label, QLineEdit *Edit, int Row, int Column)
{
    Label->setBuddy(Edit);
    Edit->setFixedWidth(70);
    Edit->installEventFilter(this);
    Edit->setValidator(new TCoordinateValidator(Edit));
    Grid.addWidget(Label, Row, Column);
    Grid.addWidget(Edit, Row, Column + 1);
}

void TfrmCustomizeFormat::SetAreaList(QTreeWidget *Areas)
{
    areaList_ = Areas;
}

void TfrmCustomizeFormat::attach(TScanArea *Area)
{
    EditedArea = Area;
    setResult(Rejected);
}

void TfrmCustomizeFormat::selectValue(QComboBox *List, int Value, int Fallback)
{
    int index = List->findData(Value);
    if (index < 0)
        index = List->findData(Fallback);
    List->setCurrentIndex(index);
}

bool TfrmCustomizeFormat::findsCards() const
{
    return cbCropToCard->isChecked() || cbSeveralCards->isChecked();
}

void TfrmCustomizeFormat::updateCardFields()
{
    const bool finds = findsCards();
    for (QWidget *field : std::initializer_list<QWidget *>{lbCardWidth, edCardWidth, lbCardHeight, edCardHeight})
        field->setEnabled(finds);
}

void TfrmCustomizeFormat::PrepareNew(TScanArea *Area)
{
    attach(Area);
    edName->clear();
    selectValue(cbQuality, QualityHigh, QualityHigh);
    selectValue(cbUnits, UnitsPixels, UnitsPixels);
    for (QLineEdit *box : {edLeft, edTop, edWidth, edHeight, edCardWidth, edCardHeight})
        box->clear();
    cbCropToCard->setChecked(false);
    cbSeveralCards->setChecked(false);
    edName->setEnabled(Tag == 1);
}

void TfrmCustomizeFormat::PrepareEdit(TScanArea *Area)
{
    attach(Area);
    if (Area) {
        edName->setText(Area->Name);
        selectValue(cbQuality, Area->Quality, QualityHigh);
        selectValue(cbUnits, Area->Units, UnitsPixels);
        edLeft->setText(FormatDecimal(Area->Left));
        edTop->setText(FormatDecimal(Area->Top));
        edWidth->setText(FormatDecimal(Area->Width));
        edHeight->setText(FormatDecimal(Area->Height));
        cbCropToCard->setChecked(Area->CropToCard && !Area->SeveralCards);
        cbSeveralCards->setChecked(Area->SeveralCards);
        // No size yet is an empty box, not a zero to be typed over.
        edCardWidth->setText(Area->CardWidth > 0 ? FormatDecimal(Area->CardWidth) : QString());
        edCardHeight->setText(Area->CardHeight > 0 ? FormatDecimal(Area->CardHeight) : QString());
    }
    // The name of an existing area stays as it is.
    edName->setEnabled(Tag == 1);
}

QString TfrmCustomizeFormat::enteredName() const
{
    // Blanks around a name would not survive the store, whose section names lose them.
    return edName->text().trimmed();
}

bool TfrmCustomizeFormat::nameInUse(const QString &Name) const
{
    if (!areaList_)
        return false;
    for (int i = 0; i < areaList_->topLevelItemCount(); ++i)
        if (areaList_->topLevelItem(i)->text(0).compare(Name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool TfrmCustomizeFormat::CheckInput()
{
    bool passed = true;
    const auto fail = [&](const char *Message) {
        ShowMessageBox(_("Error"), _(Message));
        passed = false;
    };
    const QString name = enteredName();
    if (name.isEmpty())
        fail(N_("Empty name"));
    else if (!IsStorableScanAreaName(name))
        fail(N_("The name cannot contain \"]\" or a line break"));
    if (Tag == 1 && nameInUse(name))
        fail(N_("This name is already used"));
    if (ParseDecimalOr(edWidth->text(), 0) <= 0)
        fail(N_("Width cannot be zero or negative"));
    if (ParseDecimalOr(edHeight->text(), 0) <= 0)
        fail(N_("Height cannot be zero or negative"));
    if (findsCards()) {
        const double cardWidth = ParseDecimalOr(edCardWidth->text(), 0);
        const double cardHeight = ParseDecimalOr(edCardHeight->text(), 0);
        if (cardWidth <= 0)
            fail(N_("Card width cannot be zero or negative"));
        if (cardHeight <= 0)
            fail(N_("Card height cannot be zero or negative"));
        // A card that fills the frame touches its edges: it could never be found for sure.
        if (cardWidth > 0 && cardHeight > 0
            && (cardWidth >= ParseDecimalOr(edWidth->text(), 0) || cardHeight >= ParseDecimalOr(edHeight->text(), 0)))
            fail(N_("The card must be smaller than the scan area"));
    }
    return passed;
}

void TfrmCustomizeFormat::fillRecord()
{
    if (!EditedArea)
        return;
    EditedArea->Name = enteredName();
    if (cbQuality->currentIndex() >= 0)
        EditedArea->Quality = cbQuality->currentData().toInt();
    if (cbUnits->currentIndex() >= 0)
        EditedArea->Units = static_cast<quint8>(cbUnits->currentData().toInt());
    EditedArea->Left = ParseDecimalOr(edLeft->text(), 0);
    EditedArea->Top = ParseDecimalOr(edTop->text(), 0);
    EditedArea->Width = ParseDecimalOr(edWidth->text(), 0);
    EditedArea->Height = ParseDecimalOr(edHeight->text(), 0);
    EditedArea->CropToCard = cbCropToCard->isChecked();
    EditedArea->SeveralCards = cbSeveralCards->isChecked();
    EditedArea->CardWidth = std::max(0.0, ParseDecimalOr(edCardWidth->text(), 0));
    EditedArea->CardHeight = std::max(0.0, ParseDecimalOr(edCardHeight->text(), 0));
}

void TfrmCustomizeFormat::done(int Result)
{
    if (Result == Accepted) {
        if (!CheckInput())
            return;
        fillRecord();
    }
    EditedArea = nullptr;
    QDialog::done(Result);
}

void TfrmCustomizeFormat::showEvent(QShowEvent *Event)
{
    QDialog::showEvent(Event);
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    if (edName->isEnabled())
        edName->setFocus();
    else
        cbQuality->setFocus();
}

bool TfrmCustomizeFormat::isNumberBox(const QObject *Object) const
{
    return Object == edLeft || Object == edTop || Object == edWidth || Object == edHeight
           || Object == edCardWidth || Object == edCardHeight;
}

bool TfrmCustomizeFormat::eventFilter(QObject *Watched, QEvent *Event)
{
    if (!isNumberBox(Watched))
        return QDialog::eventFilter(Watched, Event);

    if (Event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(Event);
        // Enter acts when it is released; pressed, it must not reach the dialog's default button.
        if (IsEnterKey(key->key()) || isRefusedCharacter(*key))
            return true;
    } else if (Event->type() == QEvent::KeyRelease) {
        const auto *key = static_cast<QKeyEvent *>(Event);
        if (IsEnterKey(key->key()) && !key->isAutoRepeat()) {
            QWidget *next = Watched == edLeft        ? static_cast<QWidget *>(edTop)
                            : Watched == edTop       ? static_cast<QWidget *>(edWidth)
                            : Watched == edWidth     ? static_cast<QWidget *>(edHeight)
                            : Watched == edCardWidth ? static_cast<QWidget *>(edCardHeight)
                                                     : static_cast<QWidget *>(btSet);
            next->setFocus(Qt::TabFocusReason);
            return true;
        }
    }
    return QDialog::eventFilter(Watched, Event);
}
