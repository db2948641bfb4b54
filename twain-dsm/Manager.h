#pragma once

// The data source manager: the application's session (TWAIN states 2 and 3), the
// list of sources, the routing of every triplet to its destination, the scripted
// faults that apply to any call, and the record of every triplet received. SANE's
// devices are listed after the Virtual Flatbeds, probed afresh in every session.

#include "DsmControl.h"
#include "SaneProbe.h"
#include "SaneSource.h"
#include "VirtualFlatbed.h"

#include <array>
#include <memory>
#include <vector>

class TDsm : public TFlatbedHost
{
public:
    static constexpr int EndOfList = 1 << 30;

    TDsm();

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
    TReply route(TW_IDENTITY *Origin, TW_IDENTITY *Dest, TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg,
                 TW_MEMREF Data);
    TReply toManager(TW_IDENTITY &Origin, TW_UINT16 Dat, TW_UINT16 Msg, TW_MEMREF Data);
    TReply toSource(TDataSource &Source, TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg, TW_MEMREF Data);
    TReply openDsm(TW_IDENTITY &Origin);
    TReply closeDsm();
    TReply identity(TW_UINT16 Msg, TW_IDENTITY &Identity);
    void beginSane();
    void endSane();
    int listedCount() const;
    TDataSource *listed(int Index);
    bool isListed(const TDataSource *Source);
    TDataSource *sourceWithId(TW_UINT32 Id);
    bool anySourceOpen() const;
    void keepConditionCode(TDataSource *Source, TW_UINT16 Dat, TW_UINT16 Cc);

    TScript script_;
    std::array<std::unique_ptr<TVirtualFlatbed>, MaxSources> flatbeds_;
    std::vector<TDataSource *> sources_;   // every flatbed, in listing order
    // Declared in this order so that the devices close before SANE is left.
    TSaneProbe saneProbe_;
    std::vector<std::unique_ptr<TSaneSource>> sane_;

    bool open_ = false;
    TW_UINT32 appId_ = 0;
    TW_UINT32 lastAppId_ = 0;
    int listCursor_ = EndOfList;
    TW_UINT16 conditionCode_ = TWCC_SUCCESS;

    std::vector<VfbTriplet> triplets_;
    std::shared_ptr<const TRenderedImage> lastImage_;
    uint32_t scanNumber_ = 0;
};
