#pragma once

#include <QDialog>
#include <QStringList>

class QFrame;
class QListWidget;
class QPushButton;
class TTwainManager;

// The modal dialog in which the user picks a scanner source.
class TFormSelectSource : public QDialog
{
    Q_OBJECT
public:
    explicit TFormSelectSource(QWidget *Parent = nullptr);

    // Lists Names in order and selects entry Preselected (the first when out of range).
    void SetSources(const QStringList &Names, int Preselected);
    // The selected entry's position, -1 when none.
    int SelectedIndex() const;

    QListWidget *lbSources;
    QFrame *panButtons;
    QPushButton *btOk;
    QPushButton *btCancel;

    static constexpr int FormWidth = 300;
    static constexpr int FormHeight = 200;
    static constexpr int PanelHeight = 41;

protected:
    void resizeEvent(QResizeEvent *Event) override;

private:
    void FormResize();
};

// Shows the dialog through the modal seam: the picked position, or -1.
int ChooseSourceWithDialog(const QStringList &Names, int Preselected);

// Lets Manager ask the user through the dialog and report handler errors through
// the application's handler. The main window calls this once after creating it.
void BindTwainUi(TTwainManager &Manager);
