// The capabilities every image source must answer, alike for the flatbed and the SANE
// devices: how many images an application accepts, which capabilities exist, and the
// fixed facts of an uncompressed, chunky, most-significant-bit-first image.

#include "DataSource.h"

#include "CardPicture.h"
#include "Containers.h"

#include <algorithm>
#include <iterator>

namespace {

// Answered here for every source; each source adds its own.
constexpr TW_UINT16 SharedCapabilities[] = {
    CAP_XFERCOUNT,  CAP_SUPPORTEDCAPS, CAP_UICONTROLLABLE, CAP_DEVICEONLINE,
    ICAP_COMPRESSION, ICAP_PLANARCHUNKY, ICAP_BITORDER,     ICAP_BITDEPTH,
};

// Facts of the device an application can read but not change.
constexpr TW_UINT16 ReadOnlyCapabilities[] = {
    CAP_SUPPORTEDCAPS, CAP_UICONTROLLABLE, CAP_DEVICEONLINE, ICAP_PHYSICALWIDTH, ICAP_PHYSICALHEIGHT,
};

template <typename List>
bool contains(const List &Items, TW_UINT16 Cap)
{
    return std::find(std::begin(Items), std::end(Items), Cap) != std::end(Items);
}

TReply answerContainer(TW_CAPABILITY &Cap, TW_UINT16 Type, TW_HANDLE Container)
{
    if (!Container)
        return Failure(TWCC_LOWMEMORY);
    Cap.ConType = Type;
    Cap.hContainer = Container;
    return {};
}

// A fact the application may read in any way but not set.
TReply answerFact(TW_UINT16 Msg, TW_CAPABILITY &Cap, TW_UINT16 ItemType, TW_UINT32 Item)
{
    if (Msg == MSG_SET || Msg == MSG_RESET)
        return Failure(TWCC_CAPBADOPERATION);
    return answerContainer(Cap, TWON_ONEVALUE, NewOneValue(ItemType, Item));
}

} // namespace

std::vector<TW_UINT16> TDataSource::OwnCapabilities() const
{
    return {ICAP_PIXELTYPE,   ICAP_UNITS,       ICAP_PIXELFLAVOR,   ICAP_XFERMECH,
            ICAP_XRESOLUTION, ICAP_YRESOLUTION, ICAP_PHYSICALWIDTH, ICAP_PHYSICALHEIGHT};
}

TReply TDataSource::capability(TW_UINT16 Msg, TW_CAPABILITY &Cap, bool Approximate)
{
    if (Msg == MSG_QUERYSUPPORT)
        return querySupport(Cap);
    bool answered = false;
    const TReply reply = sharedCapability(Msg, Cap, answered);
    return answered ? reply : Capability(Msg, Cap, Approximate);
}

TReply TDataSource::sharedCapability(TW_UINT16 Msg, TW_CAPABILITY &Cap, bool &Answered)
{
    Answered = true;
    switch (Cap.Cap) {
    case CAP_XFERCOUNT: {
        if (Msg == MSG_SET) {
            const auto value = ReadOneValue(Cap, TWTY_INT16);
            const auto count = value ? TW_INT16(*value) : TW_INT16(0);
            // -1 takes every image there is; 0 or another negative number means nothing.
            if (!value || count == 0 || count < -1)
                return Failure(TWCC_BADVALUE);
            xferCount_ = count;
            return {};
        }
        if (Msg == MSG_RESET)
            xferCount_ = -1;
        const TW_INT16 shown = Msg == MSG_GETDEFAULT ? TW_INT16(-1) : TW_INT16(xferCount_);
        return answerContainer(Cap, TWON_ONEVALUE, NewOneValue(TWTY_INT16, TW_UINT16(shown)));
    }
    case CAP_SUPPORTEDCAPS: {
        if (Msg == MSG_SET || Msg == MSG_RESET)
            return Failure(TWCC_CAPBADOPERATION);
        std::vector<TW_UINT16> all(std::begin(SharedCapabilities), std::end(SharedCapabilities));
        for (TW_UINT16 own : OwnCapabilities())
            if (!contains(all, own))
                all.push_back(own);
        return answerContainer(Cap, TWON_ARRAY, NewUInt16Array(all));
    }
    // There is no user interface to show: an application can always do without it.
    case CAP_UICONTROLLABLE: return answerFact(Msg, Cap, TWTY_BOOL, TwTrue);
    case CAP_DEVICEONLINE: return answerFact(Msg, Cap, TWTY_BOOL, DeviceOnline() ? TwTrue : TwFalse);
    case ICAP_COMPRESSION: {
        TW_UINT16 none = TWCP_NONE;
        return AnswerUInt16Capability(Msg, Cap, {TWCP_NONE}, none, TWCP_NONE);
    }
    case ICAP_PLANARCHUNKY: {
        TW_UINT16 chunky = TWPC_CHUNKY;
        return AnswerUInt16Capability(Msg, Cap, {TWPC_CHUNKY}, chunky, TWPC_CHUNKY);
    }
    case ICAP_BITORDER: {
        TW_UINT16 msbFirst = TWBO_MSBFIRST;
        return AnswerUInt16Capability(Msg, Cap, {TWBO_MSBFIRST}, msbFirst, TWBO_MSBFIRST);
    }
    case ICAP_BITDEPTH: {
        // The depth follows the pixel type. TWAIN 2 counts all channels of a pixel
        // (24 for RGB), TWAIN 1.9 one channel (8): both name the same depth.
        TW_UINT16 depth = BitsPerPixelOf(CurrentPixelType());
        if (Msg == MSG_SET && CurrentPixelType() == TWPT_RGB) {
            if (const auto asked = ReadOneValue(Cap, TWTY_UINT16); asked && *asked == 8)
                return {};
        }
        return AnswerUInt16Capability(Msg, Cap, {depth}, depth, depth);
    }
    default:
        Answered = false;
        return {};
    }
}

TReply TDataSource::querySupport(TW_CAPABILITY &Cap)
{
    const std::vector<TW_UINT16> own = OwnCapabilities();
    if (!contains(SharedCapabilities, Cap.Cap) && !contains(own, Cap.Cap))
        return Failure(TWCC_CAPUNSUPPORTED);
    TW_INT32 operations = TWQC_GET | TWQC_GETCURRENT | TWQC_GETDEFAULT;
    if (!contains(ReadOnlyCapabilities, Cap.Cap))
        operations |= TWQC_SET | TWQC_RESET;
    return answerContainer(Cap, TWON_ONEVALUE, NewOneValue(TWTY_INT32, TW_UINT32(operations)));
}
