#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>

#include <array>
#include <functional>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class TBalloonHint;

// The configuration dialog. Its one instance holds the settings for the whole run.
class TfrmConfiguration : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmConfiguration(QWidget *Parent = nullptr);

    quint8 TransferMode = 1;    // 0 file, 1 native, 2 memory
    int FileNames = 0;          // 0 card ID, 1 card name, 2 card number
    bool SettingsKeyExisted = false;
    QString LastUsedScanArea;
    // The scan store's folder; empty for the default place.
    QString ScanStoreFolder;
    // Each scan is looked at before it is saved (the previous card again, no card).
    bool CheckScans = true;

    // The watermark of the web copy; empty means none.
    QString WatermarkText() const;
    // The chosen place of the watermark, 1 (top left) to 9 (bottom right), row by row.
    int WatermarkPosition() const;

    void LoadSettings();
    // Throws EAppError when the settings cannot be written.
    void SaveSettings();

    // The main window's "Scan size" command, run by the Manage button.
    void SetScanSizeAction(QAction *Action);
    // The scanner test the Scanner capabilities button runs; it needs the main
    // window's scanner, so the main side installs it.
    std::function<void()> TestScanner;

    // Runs on every showing: selects the list items of the current settings.
    void FormShow();
    void btOkClick();
    void btCancelClick();
    void btHintTransferClick();
    void btHintNameByClick();
    void btTestClick();
    void btStoreFolderClick();

    QLabel *lbTransfer;
    QComboBox *cbTransfer;
    QToolButton *btHintTransfer;
    QLabel *lbNameBy;
    QComboBox *cbNameBy;
    QToolButton *btHintNameBy;
    QLabel *lbStoreFolder;
    QLineEdit *edStoreFolder;
    QToolButton *btStoreFolder;
    QCheckBox *chkCheckScans;
    QGroupBox *gbOptions;
    QPushButton *btTest;
    QPushButton *btManage;
    QGroupBox *gbWatermark;
    QLabel *lbWatermarkText;
    QComboBox *cbWatermarkText;
    QGroupBox *gbPosition;
    QRadioButton *rb1, *rb2, *rb3, *rb4, *rb5, *rb6, *rb7, *rb8, *rb9;
    QLabel *im1, *im2, *im3, *im4, *im6, *im7, *im8, *im9;
    QPushButton *btOk;
    QPushButton *btCancel;
    TBalloonHint *Balloon;

protected:
    void showEvent(QShowEvent *Event) override;
    void hideEvent(QHideEvent *Event) override;
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    void createPositionGroup();

    std::array<QRadioButton *, 9> positionButtons_{};
    std::array<QLabel *, 9> positionImages_{};   // none for the centre
    QPointer<QAction> scanSizeAction_;
    QString hintTransfer_;
    QString hintNameBy_;
};
