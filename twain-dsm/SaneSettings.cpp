// What an application negotiates with a SANE device before it enables it: the
// options behind each capability, the frame, and reading back what the device made
// of them.

#include "SaneSource.h"

#include "Containers.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <strings.h>

namespace {

constexpr double MmPerInch = 25.4;
// What fixed point carries between a value sent and the one read back.
constexpr double Tolerance = 1e-3;

double valueOf(const SANE_Option_Descriptor &Option, SANE_Word Word)
{
    return Option.type == SANE_TYPE_FIXED ? SANE_UNFIX(Word) : double(Word);
}

bool contains(const std::string &Text, const char *Part)
{
    std::string lower = Text;
    for (char &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find(Part) != std::string::npos;
}


} // namespace

// ---- options ----

int TSaneSource::optionIndex(const char *Name) const
{
    if (!handle_)
        return -1;
    SANE_Int count = 0;
    if (sane_control_option(handle_, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD)
        return -1;
    for (SANE_Int i = 1; i < count; ++i) {
        const SANE_Option_Descriptor *option = sane_get_option_descriptor(handle_, i);
        if (option && option->name && std::strcmp(option->name, Name) == 0)
            return i;
    }
    return -1;
}

const SANE_Option_Descriptor *TSaneSource::usable(const char *Name) const
{
    const int index = optionIndex(Name);
    const SANE_Option_Descriptor *option = index < 0 ? nullptr : sane_get_option_descriptor(handle_, index);
    if (!option || !SANE_OPTION_IS_ACTIVE(option->cap))
        return nullptr;
    // Only single numbers and strings stand behind a capability.
    const bool number = (option->type == SANE_TYPE_INT || option->type == SANE_TYPE_FIXED)
                        && option->size == sizeof(SANE_Word);
    if (!number && option->type != SANE_TYPE_STRING)
        return nullptr;
    return option;
}

std::optional<double> TSaneSource::number(const char *Name) const
{
    const SANE_Option_Descriptor *option = usable(Name);
    if (!option || option->type == SANE_TYPE_STRING)
        return std::nullopt;
    SANE_Word word = 0;
    if (sane_control_option(handle_, optionIndex(Name), SANE_ACTION_GET_VALUE, &word, nullptr) != SANE_STATUS_GOOD)
        return std::nullopt;
    return valueOf(*option, word);
}

std::optional<double> TSaneSource::largest(const char *Name) const
{
    const SANE_Option_Descriptor *option = usable(Name);
    if (!option || option->type == SANE_TYPE_STRING)
        return std::nullopt;
    if (option->constraint_type == SANE_CONSTRAINT_RANGE && option->constraint.range)
        return valueOf(*option, option->constraint.range->max);
    if (option->constraint_type == SANE_CONSTRAINT_WORD_LIST && option->constraint.word_list) {
        const SANE_Word *list = option->constraint.word_list;
        std::optional<double> most;
        for (SANE_Word i = 1; i <= list[0]; ++i)
            most = std::max(most.value_or(valueOf(*option, list[i])), valueOf(*option, list[i]));
        return most;
    }
    return number(Name);
}

TSaneSource::TWritten TSaneSource::setNumber(const char *Name, double Value)
{
    TWritten written;
    const SANE_Option_Descriptor *option = usable(Name);
    if (!option || option->type == SANE_TYPE_STRING || !SANE_OPTION_IS_SETTABLE(option->cap))
        return written;
    const int index = optionIndex(Name);
    // Outside what a SANE_Word carries it cannot be meant.
    const double limit = option->type == SANE_TYPE_FIXED ? 32767.0 : 2147483647.0;
    if (!(std::abs(Value) < limit))
        return written;
    SANE_Word word = option->type == SANE_TYPE_FIXED ? SANE_FIX(Value) : static_cast<SANE_Word>(std::lround(Value));
    SANE_Int info = 0;
    written.Status = sane_control_option(handle_, index, SANE_ACTION_SET_VALUE, &word, &info);
    if (sane_control_option(handle_, index, SANE_ACTION_GET_VALUE, &word, nullptr) == SANE_STATUS_GOOD)
        written.Now = valueOf(*option, word);
    written.Inexact = (info & SANE_INFO_INEXACT) || std::abs(written.Now - Value) > Tolerance;
    return written;
}

bool TSaneSource::setText(const char *Name, const std::string &Value)
{
    const SANE_Option_Descriptor *option = usable(Name);
    if (!option || option->type != SANE_TYPE_STRING || !SANE_OPTION_IS_SETTABLE(option->cap)
        || Value.size() >= size_t(option->size))
        return false;
    std::vector<char> text(size_t(option->size), '\0');
    std::memcpy(text.data(), Value.data(), Value.size());
    return sane_control_option(handle_, optionIndex(Name), SANE_ACTION_SET_VALUE, text.data(), nullptr)
           == SANE_STATUS_GOOD;
}

double TSaneSource::toOptionUnit(const SANE_Option_Descriptor &Option, double Mm) const
{
    // A few backends keep the scan area in pixels at the current resolution.
    return Option.unit == SANE_UNIT_PIXEL && dpi_ > 0 ? Mm / MmPerInch * dpi_ : Mm;
}

double TSaneSource::fromOptionUnit(const SANE_Option_Descriptor &Option, double Value) const
{
    return Option.unit == SANE_UNIT_PIXEL && dpi_ > 0 ? Value / dpi_ * MmPerInch : Value;
}

void TSaneSource::findPixelTypes()
{
    modes_.clear();
    const SANE_Option_Descriptor *mode = usable(SANE_NAME_SCAN_MODE);
    std::vector<std::string> names;
    if (mode && mode->constraint_type == SANE_CONSTRAINT_STRING_LIST && mode->constraint.string_list)
        for (const SANE_String_Const *name = mode->constraint.string_list; *name; ++name)
            names.emplace_back(*name);
    std::vector<int> depths;
    const SANE_Option_Descriptor *depth = usable(SANE_NAME_BIT_DEPTH);
    if (depth && depth->constraint_type == SANE_CONSTRAINT_WORD_LIST && depth->constraint.word_list)
        for (SANE_Word i = 1; i <= depth->constraint.word_list[0]; ++i)
            depths.push_back(depth->constraint.word_list[i]);
    const bool takes8 = std::find(depths.begin(), depths.end(), 8) != depths.end();
    const bool takes1 = std::find(depths.begin(), depths.end(), 1) != depths.end();

    auto add = [&](TW_UINT16 Type, const std::string &Mode, int Depth) {
        for (const TModeChoice &known : modes_)
            if (known.PixelType == Type)
                return;
        modes_.push_back({Type, Mode, Depth});
    };
    // Backends name their modes freely ("Color", "Colour", "24bit Color", "Lineart",
    // "Binary", "Black & White"); these words cover the ones in use.
    for (const std::string &name : names) {
        if (contains(name, "lineart") || contains(name, "binary") || contains(name, "black"))
            add(TWPT_BW, name, 0);
        else if (contains(name, "gray") || contains(name, "grey"))
            add(TWPT_GRAY, name, takes8 ? 8 : 0);
        else if (contains(name, "color") || contains(name, "colour"))
            add(TWPT_RGB, name, takes8 ? 8 : 0);
    }
    // Without a line-art mode, grey at one bit a sample is black and white.
    for (const std::string &name : names)
        if ((contains(name, "gray") || contains(name, "grey")) && takes1)
            add(TWPT_BW, name, 1);
    std::sort(modes_.begin(), modes_.end(),
              [](const TModeChoice &A, const TModeChoice &B) { return A.PixelType < B.PixelType; });
}

void TSaneSource::readBack()
{
    // The pixel type: the mode the device is in, told apart by depth where it shares one.
    char mode[256] = {};
    const SANE_Option_Descriptor *modeOption = usable(SANE_NAME_SCAN_MODE);
    if (modeOption && size_t(modeOption->size) <= sizeof mode)
        sane_control_option(handle_, optionIndex(SANE_NAME_SCAN_MODE), SANE_ACTION_GET_VALUE, mode, nullptr);
    const int depth = static_cast<int>(number(SANE_NAME_BIT_DEPTH).value_or(0));
    const TModeChoice *found = nullptr;
    for (const TModeChoice &choice : modes_)
        if (choice.Mode == mode && (!found || choice.Depth == depth))
            found = &choice;
    if (found)
        pixelType_ = found->PixelType;
    dpi_ = number(SANE_NAME_SCAN_RESOLUTION).value_or(dpi_);

    auto edge = [&](const char *Name, double Fallback) {
        const SANE_Option_Descriptor *option = usable(Name);
        const auto value = number(Name);
        return option && value ? fromOptionUnit(*option, *value) : Fallback;
    };
    frame_.Left = edge(SANE_NAME_SCAN_TL_X, 0);
    frame_.Top = edge(SANE_NAME_SCAN_TL_Y, 0);
    frame_.Right = edge(SANE_NAME_SCAN_BR_X, frame_.Right);
    frame_.Bottom = edge(SANE_NAME_SCAN_BR_Y, frame_.Bottom);
}

TReply TSaneSource::setPixelType(TW_UINT16 PixelType)
{
    const auto choice = std::find_if(modes_.begin(), modes_.end(),
                                     [&](const TModeChoice &C) { return C.PixelType == PixelType; });
    if (choice == modes_.end())
        return Failure(TWCC_BADVALUE);
    const bool taken = setText(SANE_NAME_SCAN_MODE, choice->Mode)
                       && (choice->Depth == 0 || setNumber(SANE_NAME_BIT_DEPTH, choice->Depth).Status == SANE_STATUS_GOOD);
    readBack();
    return taken ? TReply{} : Failure(TWCC_BADVALUE);
}

TReply TSaneSource::setResolution(double Dpi)
{
    const TWritten written = setNumber(SANE_NAME_SCAN_RESOLUTION, Dpi);
    readBack();
    if (written.Status != SANE_STATUS_GOOD)
        return Failure(TWCC_BADVALUE);
    return written.Inexact ? TReply{TWRC_CHECKSTATUS, TWCC_SUCCESS} : TReply{};
}

TReply TSaneSource::setFrameMm(const TSaneFrameMm &Frame)
{
    if (!(Frame.Right > Frame.Left && Frame.Bottom > Frame.Top && Frame.Left >= -Tolerance && Frame.Top >= -Tolerance))
        return Failure(TWCC_BADVALUE);
    const SANE_Option_Descriptor *edges[] = {usable(SANE_NAME_SCAN_TL_X), usable(SANE_NAME_SCAN_TL_Y),
                                             usable(SANE_NAME_SCAN_BR_X), usable(SANE_NAME_SCAN_BR_Y)};
    // A device without a scan area scans what it scans; say the frame was not taken as asked.
    if (!edges[0] || !edges[1] || !edges[2] || !edges[3]) {
        readBack();
        return {TWRC_CHECKSTATUS, TWCC_SUCCESS};
    }
    // Sheet-fed backends bound the area by the page size: the page first, so that
    // the area fits it. Their own rounding of the page is no rounding of the frame.
    setNumber("page-width", toOptionUnit(*edges[2], Frame.Right));
    setNumber("page-height", toOptionUnit(*edges[3], Frame.Bottom));
    // The bottom right corner out of the way first: a backend may refuse or move a
    // top left corner that would pass the current bottom right one.
    if (const auto most = largest(SANE_NAME_SCAN_BR_X))
        setNumber(SANE_NAME_SCAN_BR_X, *most);
    if (const auto most = largest(SANE_NAME_SCAN_BR_Y))
        setNumber(SANE_NAME_SCAN_BR_Y, *most);
    const TWritten written[] = {
        setNumber(SANE_NAME_SCAN_TL_X, toOptionUnit(*usable(SANE_NAME_SCAN_TL_X), Frame.Left)),
        setNumber(SANE_NAME_SCAN_TL_Y, toOptionUnit(*usable(SANE_NAME_SCAN_TL_Y), Frame.Top)),
        setNumber(SANE_NAME_SCAN_BR_X, toOptionUnit(*usable(SANE_NAME_SCAN_BR_X), Frame.Right)),
        setNumber(SANE_NAME_SCAN_BR_Y, toOptionUnit(*usable(SANE_NAME_SCAN_BR_Y), Frame.Bottom)),
    };
    readBack();
    bool inexact = false;
    for (const TWritten &edge : written) {
        if (edge.Status != SANE_STATUS_GOOD)
            return Failure(TWCC_BADVALUE);
        inexact = inexact || edge.Inexact;
    }
    // Clipped so far that nothing is left: there is no frame to scan.
    if (!(frame_.Right > frame_.Left && frame_.Bottom > frame_.Top))
        return Failure(TWCC_BADVALUE);
    return inexact ? TReply{TWRC_CHECKSTATUS, TWCC_SUCCESS} : TReply{};
}

// ---- capabilities ----

double TSaneSource::unitsPerMm() const
{
    return UnitsPerInch(units_, dpi_ > 0 ? dpi_ : 1) / MmPerInch;
}

TReply TSaneSource::Capability(TW_UINT16 Msg, TW_CAPABILITY &Cap, bool)
{
    // What a device given up on held can still be read; nothing can be changed.
    if (!handle_ && (Msg == MSG_SET || Msg == MSG_RESET))
        return Failure(TWCC_CHECKDEVICEONLINE);
    switch (Cap.Cap) {
    case ICAP_PIXELTYPE: {
        std::vector<TW_UINT16> types;
        for (const TModeChoice &choice : modes_)
            types.push_back(choice.PixelType);
        if (types.empty())
            types.push_back(pixelType_);
        if (Msg != MSG_SET && Msg != MSG_RESET)
            return AnswerUInt16Capability(Msg, Cap, types, pixelType_, defaultPixelType_);
        TW_UINT16 wanted = defaultPixelType_;
        if (Msg == MSG_SET) {
            const TReply reply = AnswerUInt16Capability(Msg, Cap, types, wanted, defaultPixelType_);
            if (reply.Rc != TWRC_SUCCESS)
                return reply;
        }
        return setPixelType(wanted);
    }
    case ICAP_UNITS:
        return AnswerUInt16Capability(Msg, Cap,
                              {TWUN_INCHES, TWUN_CENTIMETERS, TWUN_PICAS, TWUN_POINTS, TWUN_TWIPS, TWUN_PIXELS},
                              units_, TWUN_INCHES);
    case ICAP_PIXELFLAVOR:
        return AnswerUInt16Capability(Msg, Cap, {TWPF_CHOCOLATE, TWPF_VANILLA}, pixelFlavor_, TWPF_CHOCOLATE);
    case ICAP_XFERMECH:
        return AnswerUInt16Capability(Msg, Cap, {TWSX_NATIVE, TWSX_FILE, TWSX_MEMORY}, xferMech_, TWSX_NATIVE);
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION: return resolutionCapability(Msg, Cap);
    case ICAP_PHYSICALWIDTH: return physicalCapability(Msg, Cap, SANE_NAME_SCAN_BR_X);
    case ICAP_PHYSICALHEIGHT: return physicalCapability(Msg, Cap, SANE_NAME_SCAN_BR_Y);
    default: return Failure(TWCC_CAPUNSUPPORTED);
    }
}

TReply TSaneSource::resolutionCapability(TW_UINT16 Msg, TW_CAPABILITY &Cap)
{
    // One resolution serves both directions, as with nearly every SANE backend.
    const double perInch = ResolutionUnitsPerInch(units_);
    if (Msg == MSG_SET) {
        const auto bits = ReadOneValue(Cap, TWTY_FIX32);
        if (!bits)
            return Failure(TWCC_BADVALUE);
        double dpi = Fix32Value(*bits) * perInch;
        // 16.16 fixed point cannot carry 300 dpi in centimetres exactly.
        if (std::abs(dpi - std::round(dpi)) < 0.01)
            dpi = std::round(dpi);
        return setResolution(dpi);
    }
    if (Msg == MSG_RESET) {
        const TReply reply = setResolution(defaultDpi_);
        if (reply.Rc == TWRC_FAILURE)
            return reply;
    }
    TW_HANDLE container = nullptr;
    TW_UINT16 type = TWON_ONEVALUE;
    if (Msg == MSG_GET) {
        container = NewFix32Range(resolutionLow_ / perInch, resolutionHigh_ / perInch, resolutionStep_ / perInch,
                                  defaultDpi_ / perInch, dpi_ / perInch);
        type = TWON_RANGE;
    } else {
        container = NewOneValue(TWTY_FIX32, Fix32Bits((Msg == MSG_GETDEFAULT ? defaultDpi_ : dpi_) / perInch));
    }
    if (!container)
        return Failure(TWCC_LOWMEMORY);
    Cap.ConType = type;
    Cap.hContainer = container;
    return {};
}

TReply TSaneSource::physicalCapability(TW_UINT16 Msg, TW_CAPABILITY &Cap, const char *Edge)
{
    if (Msg == MSG_SET || Msg == MSG_RESET)
        return Failure(TWCC_CAPBADOPERATION);
    const double mm = Edge == std::string(SANE_NAME_SCAN_BR_X) ? glassMm_.Right : glassMm_.Bottom;
    TW_HANDLE container = NewOneValue(TWTY_FIX32, Fix32Bits(mm * unitsPerMm()));
    if (!container)
        return Failure(TWCC_LOWMEMORY);
    Cap.ConType = TWON_ONEVALUE;
    Cap.hContainer = container;
    return {};
}

// ---- the frame ----

TReply TSaneSource::ImageLayout(TW_UINT16 Msg, TW_IMAGELAYOUT &Layout)
{
    // Pixels count at the current resolution; the frame is held in millimetres.
    const double perMm = unitsPerMm();
    if (!handle_ && (Msg == MSG_SET || Msg == MSG_RESET))
        return Failure(TWCC_CHECKDEVICEONLINE);
    if (Msg == MSG_SET) {
        if (State() != StateOpen)
            return Failure(TWCC_SEQERROR);
        return setFrameMm({FromFix32(Layout.Frame.Left) / perMm, FromFix32(Layout.Frame.Top) / perMm,
                           FromFix32(Layout.Frame.Right) / perMm, FromFix32(Layout.Frame.Bottom) / perMm});
    }
    TReply reply;
    if (Msg == MSG_RESET)
        reply = setFrameMm(defaultFrame_);
    const TSaneFrameMm &frame = Msg == MSG_GETDEFAULT ? defaultFrame_ : frame_;
    Layout.Frame = TW_FRAME{ToFix32(frame.Left * perMm), ToFix32(frame.Top * perMm), ToFix32(frame.Right * perMm),
                            ToFix32(frame.Bottom * perMm)};
    Layout.DocumentNumber = 1;
    Layout.PageNumber = 1;
    Layout.FrameNumber = 1;
    return reply.Rc == TWRC_FAILURE ? reply : TReply{};
}

TReply TSaneSource::Palette8(TW_PALETTE8 &)
{
    return Failure(TWCC_BADPROTOCOL);
}
