#pragma once

#include <QDialog>

// The "connecting" notice shown while the catalogue server is asked.
class TfrmLoading : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmLoading(QWidget *Parent = nullptr);
};
