#pragma once

// The data source manager: the sessions of the applications that opened it (TWAIN
// states 2 and 3, each application on its own), the list of sources, the routing of
// every triplet to its destination, the scripted faults that apply to any call, and
// the record of every triplet received. SANE's devices are listed after the Virtual
// Flatbeds, probed afresh whenever the first application opens the manager.
//
// TWAIN 2 applications (DF_APP2) get the memory entry points and may register a
// callback per source; the manager then tells them MSG_XFERREADY and MSG_CLOSEDSREQ
// from a thread of its own instead of waiting to be polled.

#include "DsmControl.h"
#include "SaneProbe.h"
#include "SaneSource.h"
#include "VirtualFlatbed.h"

#include <array>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TDsm : public TFlatbedHost
{
public:
    static constexpr int EndOfList = 1 << 30;

    TDsm();
    ~TDsm() override;

    // Held around every call into the manager, from whatever thread it comes. It
    // outlives the manager, so a callback returning after the manager is gone finds it.
    static std::mutex &Mutex();

    // Expects Mutex() held.
    TW_UINT16 Entry(TW_IDENTITY *Origin, TW_IDENTITY *Dest, TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg,
                    TW_MEMREF Data);

    void Reset();
    bool Set(const std::string &Key, const std::string &Value);
    size_t TripletCount() const { return triplets_.size(); }
    bool TripletAt(size_t Index, VfbTriplet &Out) const;
    bool LastImage(VfbImage &Out) const;

    const TScript &Script() const override { return script_; }
    uint32_t NextScanNumber() override { return ++scanNumber_; }
    void ImageRendered(std::shared_ptr<const TRenderedImage> Image) override { lastImage_ = std::move(Image); }

    std::string ProbeReport() const { return saneProbe_.Report(); }

private:
    // One application between its MSG_OPENDSM and MSG_CLOSEDSM.
    struct TSession
    {
        TW_IDENTITY Identity{};
        TW_UINT16 ConditionCode = TWCC_SUCCESS;
        int ListCursor = EndOfList;
    };

    // One announcement for an application's callback, made outside the lock.
    struct TNotice
    {
        TW_MEMREF Proc;
        TW_IDENTITY Source;
        TW_IDENTITY Application;
        TW_UINT16 Msg;
    };

    TReply route(TW_IDENTITY *Origin, TW_IDENTITY *Dest, TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg,
                 TW_MEMREF Data, TDataSource *&Reached);
    TReply toManager(TW_IDENTITY &Origin, TSession *Session, TW_UINT16 Dat, TW_UINT16 Msg, TW_MEMREF Data);
    TReply toSource(TDataSource &Source, TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg, TW_MEMREF Data);
    TReply openDsm(TW_IDENTITY &Origin);
    TReply closeDsm(TW_UINT32 Application);
    TReply identity(TSession &Session, TW_UINT16 Msg, TW_IDENTITY &Identity);
    TReply userSelect(TW_IDENTITY &Identity);
    TReply registerCallback(TDataSource &Source, TW_UINT16 Dat, TW_MEMREF Data);
    void endAllSessions();
    void beginSane();
    void endSane();
    int listedCount() const;
    TDataSource *listed(int Index);
    bool isListed(const TDataSource *Source);
    TDataSource *sourceWithId(TW_UINT32 Id);
    TDataSource *defaultSource();
    // The first listed source of that product name.
    TDataSource *listedNamed(const TW_STR32 &ProductName);
    template <typename F> void forEachSource(F &&Visit);
    void keepConditionCode(TW_IDENTITY *Origin, TDataSource *Reached, TW_UINT16 Dat, TW_UINT16 Cc);

    // The callback thread's state. It lives as long as the thread does: a thread
    // still inside an application's callback when the manager goes finds it there.
    struct TNotifier
    {
        std::condition_variable Wake;
        std::condition_variable Done;
        bool Stopping = false;
        bool Running = false;
    };

    // The callback thread: wakes while a source with a callback is enabled.
    void startNotifier();
    void stopNotifier(std::unique_lock<std::mutex> &Lock);
    void notifierLoop(TNotifier &State);
    std::vector<TNotice> dueNotices();
    bool callbacksWaiting();

    TScript script_;
    std::array<std::unique_ptr<TVirtualFlatbed>, MaxSources> flatbeds_;
    std::vector<TDataSource *> sources_;   // every flatbed, in listing order
    // Declared in this order so that the devices close before SANE is left.
    TSaneProbe saneProbe_;
    std::vector<std::unique_ptr<TSaneSource>> sane_;

    std::map<TW_UINT32, TSession> sessions_;
    TW_UINT32 lastAppId_ = 0;
    // The condition code of the last call from an application without a session.
    TW_UINT16 conditionCode_ = TWCC_SUCCESS;

    std::vector<VfbTriplet> triplets_;
    std::shared_ptr<const TRenderedImage> lastImage_;
    uint32_t scanNumber_ = 0;

    std::shared_ptr<TNotifier> notifier_;
    std::thread notifierThread_;
};
