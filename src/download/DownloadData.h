#pragma once

#include <QDialog>

// Picks a game, a set and its cards from the catalogue server.
class TfrmDownloadData : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmDownloadData(QWidget *Parent = nullptr);
};
