#pragma once

#include <QDialog>

// Edits one scan area.
class TfrmCustomizeFormat : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmCustomizeFormat(QWidget *Parent = nullptr);
};
