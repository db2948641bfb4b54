// What an application negotiates with a virtual flatbed before it enables it:
// capabilities, the frame on the glass, the palette.

#include "VirtualFlatbed.h"

#include "Containers.h"

#include <algorithm>
#include <cmath>

namespace {

// A frame edge this close to the glass's edge is on it: values that went through
// 16.16 fixed point in centimetres land a few millionths of an inch off.
constexpr double EdgeSlack = 1e-4;

} // namespace

TReply TVirtualFlatbed::Capability(TW_UINT16 Msg, TW_CAPABILITY &Cap, bool Approximate)
{
    switch (Cap.Cap) {
    case ICAP_PIXELTYPE:
        return AnswerUInt16Capability(Msg, Cap, {TWPT_BW, TWPT_GRAY, TWPT_RGB, TWPT_PALETTE}, settings_.PixelType,
                              TWPT_RGB, false);
    case ICAP_UNITS:
        return AnswerUInt16Capability(Msg, Cap,
                              {TWUN_INCHES, TWUN_CENTIMETERS, TWUN_PICAS, TWUN_POINTS, TWUN_TWIPS, TWUN_PIXELS},
                              settings_.Units, TWUN_INCHES, script().UnitsAsOneValue);
    case ICAP_PIXELFLAVOR:
        return AnswerUInt16Capability(Msg, Cap, {TWPF_CHOCOLATE, TWPF_VANILLA}, settings_.PixelFlavor, TWPF_CHOCOLATE,
                              false);
    case ICAP_XFERMECH:
        return AnswerUInt16Capability(Msg, Cap, {TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY}, settings_.XferMech, TWSX_NATIVE,
                              false);
    case ICAP_XRESOLUTION: return resolutionCapability(Msg, Cap, Approximate, settings_.XDpi);
    case ICAP_YRESOLUTION: return resolutionCapability(Msg, Cap, Approximate, settings_.YDpi);
    case ICAP_PHYSICALWIDTH: return physicalCapability(Msg, Cap, GlassWidthInches, settings_.XDpi);
    case ICAP_PHYSICALHEIGHT: return physicalCapability(Msg, Cap, GlassHeightInches, settings_.YDpi);
    default: return Failure(TWCC_CAPUNSUPPORTED);
    }
}

TReply TVirtualFlatbed::resolutionCapability(TW_UINT16 Msg, TW_CAPABILITY &Cap, bool Approximate, double &Dpi)
{
    const double perInch = ResolutionUnitsPerInch(settings_.Units);
    if (Msg == MSG_SET) {
        const auto bits = ReadOneValue(Cap, TWTY_FIX32);
        if (!bits)
            return Failure(TWCC_BADVALUE);
        double value = Fix32Value(*bits);
        if (Approximate)
            value = std::round(value);
        double dpi = value * perInch;
        // 16.16 fixed point cannot carry 300 dpi in centimetres exactly; what lands
        // within a hundredth of a whole dpi means that whole dpi.
        if (std::abs(dpi - std::round(dpi)) < 0.01)
            dpi = std::round(dpi);
        if (Approximate)
            dpi = std::clamp(dpi, MinDpi, MaxDpi);
        if (dpi < MinDpi || dpi > MaxDpi)
            return Failure(TWCC_BADVALUE);
        Dpi = dpi;
        return {};
    }
    if (Msg == MSG_RESET)
        Dpi = DefaultDpi;

    TW_HANDLE container = nullptr;
    TW_UINT16 type = TWON_ONEVALUE;
    if (Msg == MSG_GET) {
        container = NewFix32Range(MinDpi / perInch, MaxDpi / perInch, 1.0 / perInch, DefaultDpi / perInch,
                                  Dpi / perInch);
        type = TWON_RANGE;
    } else {
        container = NewOneValue(TWTY_FIX32, Fix32Bits((Msg == MSG_GETDEFAULT ? DefaultDpi : Dpi) / perInch));
    }
    if (!container)
        return Failure(TWCC_LOWMEMORY);
    Cap.ConType = type;
    Cap.hContainer = container;
    return {};
}

TReply TVirtualFlatbed::physicalCapability(TW_UINT16 Msg, TW_CAPABILITY &Cap, double Inches, double Dpi)
{
    if (Msg == MSG_SET || Msg == MSG_RESET)
        return Failure(TWCC_CAPBADOPERATION);
    TW_HANDLE container = NewOneValue(TWTY_FIX32, Fix32Bits(Inches * UnitsPerInch(settings_.Units, Dpi)));
    if (!container)
        return Failure(TWCC_LOWMEMORY);
    Cap.ConType = TWON_ONEVALUE;
    Cap.hContainer = container;
    return {};
}

void TVirtualFlatbed::fillLayout(TW_IMAGELAYOUT &Layout, const TFrameInches &Frame) const
{
    const double x = UnitsPerInch(settings_.Units, settings_.XDpi);
    const double y = UnitsPerInch(settings_.Units, settings_.YDpi);
    Layout.Frame = TW_FRAME{ToFix32(Frame.Left * x), ToFix32(Frame.Top * y), ToFix32(Frame.Right * x),
                            ToFix32(Frame.Bottom * y)};
    Layout.DocumentNumber = 1;
    Layout.PageNumber = 1;
    Layout.FrameNumber = 1;
}

TReply TVirtualFlatbed::setFrame(const TW_FRAME &Frame)
{
    const double x = UnitsPerInch(settings_.Units, settings_.XDpi);
    const double y = UnitsPerInch(settings_.Units, settings_.YDpi);
    const TFrameInches asked{FromFix32(Frame.Left) / x, FromFix32(Frame.Top) / y, FromFix32(Frame.Right) / x,
                             FromFix32(Frame.Bottom) / y};
    if (!(asked.Right > asked.Left && asked.Bottom > asked.Top))
        return Failure(TWCC_BADVALUE);

    bool clipped = false;
    auto clip = [&](double Value, double Low, double High) {
        if (Value < Low - EdgeSlack || Value > High + EdgeSlack)
            clipped = true;
        return std::clamp(Value, Low, High);
    };
    const TFrameInches taken{clip(asked.Left, 0, GlassWidthInches), clip(asked.Top, 0, GlassHeightInches),
                             clip(asked.Right, 0, GlassWidthInches), clip(asked.Bottom, 0, GlassHeightInches)};
    // Nothing of it on the glass: there is nothing to clip it to.
    if (!(taken.Right > taken.Left && taken.Bottom > taken.Top))
        return Failure(TWCC_BADVALUE);
    settings_.Frame = taken;
    return clipped ? TReply{TWRC_CHECKSTATUS, TWCC_SUCCESS} : TReply{};
}

TReply TVirtualFlatbed::ImageLayout(TW_UINT16 Msg, TW_IMAGELAYOUT &Layout)
{
    switch (Msg) {
    case MSG_SET: return setFrame(Layout.Frame);
    case MSG_GETDEFAULT: fillLayout(Layout, TFrameInches{}); return {};
    case MSG_RESET: settings_.Frame = TFrameInches{}; break;
    default: break;
    }
    fillLayout(Layout, settings_.Frame);
    return {};
}

TReply TVirtualFlatbed::Palette8(TW_PALETTE8 &Palette)
{
    const std::vector<uint8_t> &colours = CardPalette();
    Palette = TW_PALETTE8{};
    Palette.NumColors = static_cast<TW_UINT16>(colours.size() / 3);
    Palette.PaletteType = 0; // TWPA_RGB
    for (TW_UINT16 i = 0; i < Palette.NumColors; ++i)
        Palette.Colors[i] = TW_ELEMENT8{static_cast<TW_UINT8>(i), colours[3 * i], colours[3 * i + 1],
                                        colours[3 * i + 2]};
    return {};
}
