#pragma once

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
struct TScanArea;

// Edits one scan area. The record is attached by PrepareNew or PrepareEdit,
// filled only when the dialog closes with OK, and detached whenever it closes.
class TfrmCustomizeFormat : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmCustomizeFormat(QWidget *Parent = nullptr);

    // The list of existing areas whose names a new area must not repeat.
    void SetAreaList(QTreeWidget *Areas);

    void PrepareNew(TScanArea *Area);
    void PrepareEdit(TScanArea *Area);

    // Runs the checks of OK, showing each failing one's message; true when all pass.
    bool CheckInput();

    void done(int Result) override;

    TScanArea *EditedArea = nullptr;
    int Tag = 0;   // 1 while a new area is made, 0 while an existing one is changed

    QGroupBox *gbGeneral = nullptr;
    QLabel *lbName = nullptr;
    QLineEdit *edName = nullptr;
    QLabel *lbQuality = nullptr;
    QComboBox *cbQuality = nullptr;
    QLabel *lbUnits = nullptr;
    QComboBox *cbUnits = nullptr;
    QGroupBox *gbPosition = nullptr;
    QLabel *lbLeft = nullptr;
    QLineEdit *edLeft = nullptr;
    QLabel *lbTop = nullptr;
    QLineEdit *edTop = nullptr;
    QLabel *lbWidth = nullptr;
    QLineEdit *edWidth = nullptr;
    QLabel *lbHeight = nullptr;
    QLineEdit *edHeight = nullptr;
    // Straighten and crop, or several cards per scan: the card's size, in the area's units.
    QGroupBox *gbCard = nullptr;
    QCheckBox *cbCropToCard = nullptr;
    QCheckBox *cbSeveralCards = nullptr;
    QLabel *lbCardWidth = nullptr;
    QLineEdit *edCardWidth = nullptr;
    QLabel *lbCardHeight = nullptr;
    QLineEdit *edCardHeight = nullptr;
    QPushButton *btSet = nullptr;
    QPushButton *btCancel = nullptr;

protected:
    void showEvent(QShowEvent *Event) override;
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    // A label and its box for a number in the area's units, side by side.
    void addNumberBox(QGridLayout &Grid, QLabel *Label, QLineEdit *Edit, int Row, int Column);
    void attach(TScanArea *Area);
    void selectValue(QComboBox *List, int Value, int Fallback);
    QString enteredName() const;
    bool nameInUse(const QString &Name) const;
    void fillRecord();
    bool isNumberBox(const QObject *Object) const;
    void updateCardFields();
    bool findsCards() const;

    QPointer<QTreeWidget> areaList_;
};
