#pragma once

#include "scanner/DsmLibrary.h"
#include "scanner/TwainIdentity.h"
#include "scanner/TwainSource.h"

#include <QEvent>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <exception>
#include <functional>
#include <memory>
#include <vector>

class TTwainManager;

using TTwainAcquireEvent =
    std::function<void(TTwainManager *Sender, int Index, const QImage &Image, bool &Cancel)>;
using TTwainSourceEvent = std::function<void(TTwainManager *Sender, int Index)>;
using TTwainErrorEvent =
    std::function<void(TTwainManager *Sender, int Index, int ErrorCode, int Additional)>;
using TTwainCompleteEvent = std::function<void(TTwainManager *Sender, int Index, bool Canceled)>;
using TTwainAfterFileEvent = std::function<void(TTwainManager *Sender, int Index,
                                                const QString &FileName, int Format)>;
// Shows the source names and answers the picked position, or -1 for none.
using TSourceChooser = std::function<int(const QStringList &Names, int Preselected)>;

// The window message the poll timer stands for.
inline constexpr TW_UINT32 PollMessage = 0x400;
inline constexpr int PollInterval = 100; // milliseconds

// The application's connection to the data source manager: loads it, lists and
// chooses sources, offers the main window's messages to enabled sources and raises
// the acquisition events. One per application, owned by the main window.
//
// Events are raised from inside message processing, in the middle of a transfer;
// handlers may call back into the manager. Source objects retired while a message
// is being processed are destroyed only once that processing has ended.
class TTwainManager : public QObject
{
    Q_OBJECT
public:
    // Watches MessageWindow's events (the main window). Folders default to
    // DefaultDsmSearchFolders().
    explicit TTwainManager(QObject *MessageWindow, QObject *Parent = nullptr);
    ~TTwainManager() override;

    // Events; an empty one is skipped. An exception a handler throws goes to
    // ErrorReporter and the sequence goes on, so the source is never left mid-transfer.
    TTwainAcquireEvent OnTwainAcquire;
    TTwainSourceEvent OnAcquireCancel;
    TTwainErrorEvent OnAcquireError;
    TTwainSourceEvent OnSourceDisable;
    TTwainCompleteEvent OnTransferComplete;
    TTwainSourceEvent OnBeforeFileTransfer;
    TTwainAfterFileEvent OnAfterFileTransfer;
    // Picks a source for ChooseSource; without one ChooseSource answers -1.
    TSourceChooser Chooser;
    // Receives exceptions thrown by handlers; without one they are dropped with a warning.
    std::function<void(const std::exception &)> ErrorReporter;

    // Where LoadDsm looks, in order (tests point this elsewhere).
    QStringList DsmSearchFolders;
    // Transfer mode given to newly listed sources.
    uint8_t NewSourceMode = TransferNative;
    // Index of the source last picked in the dialog; -1 for none.
    int ChosenIndex = -1;

    bool LoadDsm();
    bool UnloadDsm();
    bool OpenManager();
    bool CloseManager();
    int NumSources();
    // Index -1 names the manager's default source.
    TTwainSource *SourceAt(int Index);
    int FindDefaultSource();
    int ChooseSource();
    // Tears the connection down and builds it again; source objects are retired.
    void ResetConnection();
    // Lists the sources afresh (a new manager session, so scanners plugged in or
    // out since are seen); false, and nothing done, while a source is open.
    bool RefreshSources();
    // The index of the listed source with this product name, or -1.
    int FindSource(const QByteArray &ProductName);
    // The manager's condition code, e.g. after a source refused to open.
    TW_UINT16 ManagerConditionCode();

    bool DsmLoaded() const { return dsmLoaded_; }
    bool ManagerOpen() const { return managerOpen_; }
    bool SourcesListed() const { return sourcesListed_; }
    int OpenSourceCount() const { return openSourceCount_; }
    QObject *MessageWindow() const { return messageWindow_; }
    const TTwainIdentity &AppIdentity() const { return *appIdentity_; }
    const TDsmLibrary &DsmModule() const { return dsm_; }
    const QTimer &PollTimer() const { return pollTimer_; }

    // What one tick of the poll timer does: sends the poll message to MessageWindow.
    void Poll();
    // The event type standing for the poll message.
    static QEvent::Type PollEventType();

    // One call of DSM_Entry with the application as origin; TWRC_FAILURE while no
    // manager library is loaded.
    TW_UINT16 CallDsm(TW_IDENTITY *Dest, TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg, void *Data);

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    friend class TTwainSource;

    // Held while a message is processed or a transfer runs: source objects retired
    // meanwhile are kept alive until the outermost scope ends.
    class TBusyScope
    {
    public:
        explicit TBusyScope(TTwainManager &Manager);
        ~TBusyScope();
        TBusyScope(const TBusyScope &) = delete;
        TBusyScope &operator=(const TBusyScope &) = delete;

    private:
        TTwainManager &manager_;
    };

    void listSources();
    void retireSources();
    bool offerMessage(QEvent *Event);

    void raiseAcquire(int Index, const QImage &Image, bool &Cancel);
    void raiseAcquireCancel(int Index);
    void raiseAcquireError(int Index, int ErrorCode, int Additional);
    void raiseSourceDisable(int Index);
    void raiseTransferComplete(int Index, bool Canceled);
    void raiseBeforeFile(int Index);
    void raiseAfterFile(int Index, const QString &FileName, int Format);
    template <typename F> void guarded(F &&Handler);

    QPointer<QObject> messageWindow_; // cleared should the window go first
    void *parentHandle_ = nullptr; // MSG_OPENDSM gets a pointer to this
    std::unique_ptr<TTwainIdentity> appIdentity_;
    std::vector<std::unique_ptr<TTwainSource>> sources_;
    std::vector<std::unique_ptr<TTwainSource>> retired_;
    TDsmLibrary dsm_;
    QTimer pollTimer_;
    int openSourceCount_ = 0;
    int busy_ = 0;
    bool dsmLoaded_ = false;
    bool managerOpen_ = false;
    bool sourcesListed_ = false;
    bool watching_ = false;
    bool pumping_ = false;
};
