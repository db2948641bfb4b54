#pragma once

#include <QDialog>

// Reports which of the needed capabilities the chosen scanner source accepts.
class TfrmTest : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmTest(QWidget *Parent = nullptr);
};
