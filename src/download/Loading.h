#pragma once

#include <QDialog>

class QLabel;
class QFrame;

// The "connecting" notice shown while the catalogue server is asked. The
// request blocks the interface, so the notice is drawn once before it starts
// and stays as it is until the answer is read.
class TfrmLoading : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmLoading(QWidget *Parent = nullptr);

    QFrame *Panel;
    QLabel *lbLoading;
};
