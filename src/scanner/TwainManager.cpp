#include "scanner/TwainManager.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>

#include <cstring>

namespace {

// The poll message as an event, so it reaches the watched window like any other.
class TPollEvent : public QEvent
{
public:
    TPollEvent() : QEvent(TTwainManager::PollEventType()) {}
};

} // namespace

QEvent::Type TTwainManager::PollEventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

TTwainManager::TBusyScope::TBusyScope(TTwainManager &Manager)
    : manager_(Manager)
{
    ++manager_.busy_;
}

TTwainManager::TBusyScope::~TBusyScope()
{
    // Only the outermost scope lets retired sources go: an inner one may still be
    // running inside one of them.
    if (--manager_.busy_ == 0)
        manager_.retired_.clear();
}

TTwainManager::TTwainManager(QObject *MessageWindow, QObject *Parent)
    : QObject(Parent)
    , DsmSearchFolders(DefaultDsmSearchFolders())
    , messageWindow_(MessageWindow)
    , parentHandle_(MessageWindow)
    , appIdentity_(std::make_unique<TTwainIdentity>())
{
    appIdentity_->MakeAppIdentity();
    pollTimer_.setInterval(PollInterval);
    connect(&pollTimer_, &QTimer::timeout, this, [this] {
        // A timer slot runs inside Qt's event loop: nothing may escape it.
        try {
            Poll();
        } catch (const std::exception &e) {
            if (ErrorReporter)
                ErrorReporter(e);
            else
                qWarning("TWAIN poll: %s", e.what());
        }
    });
    if (messageWindow_)
        messageWindow_->installEventFilter(this);
    watching_ = true;
}

TTwainManager::~TTwainManager()
{
    watching_ = false;
    if (messageWindow_)
        messageWindow_->removeEventFilter(this);
    // The receiver is being torn down too: closing the sources must not call into it.
    OnTwainAcquire = nullptr;
    OnAcquireCancel = nullptr;
    OnAcquireError = nullptr;
    OnSourceDisable = nullptr;
    OnTransferComplete = nullptr;
    OnBeforeFileTransfer = nullptr;
    OnAfterFileTransfer = nullptr;
    UnloadDsm();
    sources_.clear();
    retired_.clear();
}

TW_UINT16 TTwainManager::CallDsm(TW_IDENTITY *Dest, TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg,
                                 void *Data)
{
    const DSMENTRYPROC entry = dsm_.Entry();
    if (!dsmLoaded_ || !entry)
        return TWRC_FAILURE;
    return entry(appIdentity_->Record(), Dest, Dg, Dat, Msg, Data);
}

bool TTwainManager::LoadDsm()
{
    if (dsmLoaded_)
        return true;
    const QString file = FindDsmFile(DsmSearchFolders);
    if (file.isEmpty() || !dsm_.Load(file))
        return false;
    dsmLoaded_ = true;
    return true;
}

bool TTwainManager::UnloadDsm()
{
    if (managerOpen_)
        CloseManager();
    retireSources();
    pollTimer_.stop();
    dsmLoaded_ = false;
    // Without its library no manager is open, whatever MSG_CLOSEDSM answered.
    managerOpen_ = false;
    return dsm_.Unload();
}

bool TTwainManager::OpenManager()
{
    if (managerOpen_)
        return true;
    if (!dsmLoaded_)
        return false;
    if (CallDsm(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parentHandle_) == TWRC_SUCCESS)
        managerOpen_ = true;
    return managerOpen_;
}

bool TTwainManager::CloseManager()
{
    // Each source closes itself (disabling first) before the manager goes.
    for (auto &source : sources_)
        source->Close();
    retireSources();
    const bool closed =
        CallDsm(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parentHandle_) == TWRC_SUCCESS;
    if (closed)
        managerOpen_ = false;
    return closed;
}

void TTwainManager::retireSources()
{
    for (auto &source : sources_)
        retired_.push_back(std::move(source));
    sources_.clear();
    // The list no longer holds a listing; the next NumSources asks again.
    sourcesListed_ = false;
    if (busy_ == 0)
        retired_.clear();
}

void TTwainManager::listSources()
{
    retireSources();
    auto next = std::make_unique<TTwainSource>(*this, 0, NewSourceMode);
    TW_UINT16 msg = MSG_GETFIRST;
    while (CallDsm(nullptr, DG_CONTROL, DAT_IDENTITY, msg, next->Record()) == TWRC_SUCCESS) {
        sources_.push_back(std::move(next));
        next = std::make_unique<TTwainSource>(*this, int(sources_.size()), NewSourceMode);
        msg = MSG_GETNEXT;
    }
    sourcesListed_ = true;
}

int TTwainManager::NumSources()
{
    if (!dsmLoaded_ || !managerOpen_)
        return 0;
    if (!sourcesListed_)
        listSources();
    return int(sources_.size());
}

TTwainSource *TTwainManager::SourceAt(int Index)
{
    if (!dsmLoaded_ || !managerOpen_)
        return nullptr;
    const int count = NumSources();
    if (Index == -1 && count > 0)
        Index = FindDefaultSource();
    if (Index < 0 || Index >= count)
        return nullptr;
    return sources_[size_t(Index)].get();
}

int TTwainManager::FindDefaultSource()
{
    if (!managerOpen_)
        return 0;
    TTwainIdentity scratch;
    if (CallDsm(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, scratch.Record()) != TWRC_SUCCESS)
        return 0;
    NumSources();
    for (size_t i = 0; i < sources_.size(); ++i)
        if (std::memcmp(sources_[i]->Record(), scratch.Record(), sizeof(TW_IDENTITY)) == 0)
            return int(i);
    return -1;
}

int TTwainManager::ChooseSource()
{
    if (!dsmLoaded_ || !managerOpen_)
        return -1;
    const int count = NumSources();
    int result = -1;
    if (count > 0) {
        QStringList names;
        for (const auto &source : sources_)
            names << QString::fromLocal8Bit(source->ProductName());
        const int preselected = ChosenIndex >= 0 && ChosenIndex < count ? ChosenIndex : 0;
        if (Chooser)
            result = Chooser(names, preselected);
        if (result < 0 || result >= count)
            result = -1;
    }
    ChosenIndex = result;
    return result;
}

void TTwainManager::ResetConnection()
{
    TBusyScope busy(*this);
    watching_ = false;
    UnloadDsm();
    appIdentity_ = std::make_unique<TTwainIdentity>();
    appIdentity_->MakeAppIdentity();
    retireSources();
    openSourceCount_ = 0;
    managerOpen_ = false;
    sourcesListed_ = false;
    NewSourceMode = TransferNative;
    parentHandle_ = messageWindow_.data();
    watching_ = true;
    if (LoadDsm())
        OpenManager();
}

bool TTwainManager::RefreshSources()
{
    if (openSourceCount_ > 0)
        return false;
    ResetConnection();
    NumSources();
    return true;
}

int TTwainManager::FindSource(const QByteArray &ProductName)
{
    const int count = NumSources();
    for (int i = 0; i < count; ++i)
        if (sources_[size_t(i)]->ProductName() == ProductName)
            return i;
    return -1;
}

TW_UINT16 TTwainManager::ManagerConditionCode()
{
    TW_STATUS status{};
    if (CallDsm(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status) != TWRC_SUCCESS)
        return TWCC_BUMMER;
    return status.ConditionCode;
}

void TTwainManager::Poll()
{
    if (!messageWindow_)
        return;
    TPollEvent event;
    QCoreApplication::sendEvent(messageWindow_, &event);
}

bool TTwainManager::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Watched != messageWindow_ || !watching_)
        return QObject::eventFilter(Watched, Event);
    bool consumed = false;
    try {
        consumed = offerMessage(Event);
    } catch (const std::exception &e) {
        if (ErrorReporter)
            ErrorReporter(e);
        else
            qWarning("TWAIN message: %s", e.what());
    }
    // The poll message is ours alone; the window has nothing to do with it.
    return consumed || Event->type() == PollEventType();
}

bool TTwainManager::offerMessage(QEvent *Event)
{
    // A handler that runs a modal loop in the middle of a transfer lets the poll timer
    // fire again; the source's own transfer must not be re-entered from it.
    if (openSourceCount_ <= 0 || pumping_)
        return false;
    TBusyScope busy(*this);
    pumping_ = true;
    struct TPumpDone
    {
        bool &Flag;
        ~TPumpDone() { Flag = false; }
    } pumpDone{pumping_};
    TW_MSG msg{};
    msg.hwnd = messageWindow_.data();
    msg.message = Event->type() == PollEventType() ? PollMessage : TW_UINT32(Event->type());
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        const QPoint pos = QCursor::pos();
        msg.ptX = pos.x();
        msg.ptY = pos.y();
    }
    // A snapshot: a claimed message may rebuild the list, and once one source has
    // claimed it no other may see it.
    std::vector<TTwainSource *> candidates;
    for (const auto &source : sources_)
        if (source->Loaded() && source->Enabled())
            candidates.push_back(source.get());
    for (TTwainSource *source : candidates) {
        if (source->ProcessEvent(msg)) {
            Event->accept();
            return true;
        }
    }
    return false;
}

template <typename F>
void TTwainManager::guarded(F &&Handler)
{
    try {
        Handler();
    } catch (const std::exception &e) {
        if (ErrorReporter)
            ErrorReporter(e);
        else
            qWarning("TWAIN event handler: %s", e.what());
    }
}

void TTwainManager::raiseAcquire(int Index, const QImage &Image, bool &Cancel)
{
    if (OnTwainAcquire)
        guarded([&] { OnTwainAcquire(this, Index, Image, Cancel); });
}

void TTwainManager::raiseAcquireCancel(int Index)
{
    if (OnAcquireCancel)
        guarded([&] { OnAcquireCancel(this, Index); });
}

void TTwainManager::raiseAcquireError(int Index, int ErrorCode, int Additional)
{
    if (OnAcquireError)
        guarded([&] { OnAcquireError(this, Index, ErrorCode, Additional); });
}

void TTwainManager::raiseSourceDisable(int Index)
{
    if (OnSourceDisable)
        guarded([&] { OnSourceDisable(this, Index); });
}

void TTwainManager::raiseTransferComplete(int Index, bool Canceled)
{
    if (OnTransferComplete)
        guarded([&] { OnTransferComplete(this, Index, Canceled); });
}

void TTwainManager::raiseBeforeFile(int Index)
{
    if (OnBeforeFileTransfer)
        guarded([&] { OnBeforeFileTransfer(this, Index); });
}

void TTwainManager::raiseAfterFile(int Index, const QString &FileName, int Format)
{
    if (OnAfterFileTransfer)
        guarded([&] { OnAfterFileTransfer(this, Index, FileName, Format); });
}
