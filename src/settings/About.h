#pragma once

#include <QDate>
#include <QDialog>
#include <QUrl>

#include <functional>

class QLabel;
class QPushButton;

// The day the program was compiled.
QDate BuildDate();

// The about box: product, author with a mail link, version and build date.
class TfrmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget *Parent = nullptr);

    // Fills the version and the build date from the running executable. An
    // unreadable version block throws EAppError and leaves both labels as they were.
    void FormShow();
    // Opens a new mail to the author.
    void EmailLinkClick();
    // The "mailto:" address with its subject.
    static QUrl MailToUrl();

    // Hands a URL to the desktop; tests replace it to see the URL without a mail program.
    std::function<bool(const QUrl &)> OpenUrl;

    QLabel *TitleLabel = nullptr;
    QLabel *AuthorLabel = nullptr;
    QLabel *EmailLink = nullptr;
    QLabel *VersionLabel = nullptr;
    QLabel *CompilationLabel = nullptr;
    QLabel *NoticeLabel = nullptr;
    QPushButton *OkButton = nullptr;

protected:
    void showEvent(QShowEvent *Event) override;
};
