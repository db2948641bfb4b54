// A SANE backend that misbehaves on purpose, loaded by SANE's dll backend as
// "vmfault" (libsane-vmfault.so.1 in a folder on LD_LIBRARY_PATH). One device,
// "vmfault:0", an RGB scanner of 30 x 100 pixels. What its scan does is read from
// VELLUMORA_FAULT_MODE at each sane_start:
//   "good"     100 lines, as promised
//   "short"    promises 100 lines, ends after 10
//   "unknown"  promises nothing (lines -1), ends after 20
//   "lie"      rows of fewer bytes than their pixels need
//   "stall"    sane_read blocks until sane_cancel
//   "hang"     sane_read blocks, sane_cancel or not, until vmfault_release()

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr SANE_Int Width = 30;
constexpr SANE_Int PromisedLines = 100;

std::atomic<bool> cancelled{false};
std::atomic<bool> released{false};
std::atomic<int> closed{0};
std::atomic<bool> blocked{false};
std::string mode;
SANE_Int linesSent = 0;
SANE_Int byteInLine = 0;

const SANE_Device device{"vmfault:0", "Vellumora", "Fault tester", "flatbed scanner"};
const SANE_Device *devices[] = {&device, nullptr};
const SANE_Option_Descriptor count{SANE_NAME_NUM_OPTIONS, SANE_TITLE_NUM_OPTIONS, SANE_DESC_NUM_OPTIONS,
                                   SANE_TYPE_INT, SANE_UNIT_NONE, sizeof(SANE_Word), SANE_CAP_SOFT_DETECT,
                                   SANE_CONSTRAINT_NONE, {nullptr}};

SANE_Int deliveredLines()
{
    return mode == "short" ? 10 : mode == "unknown" ? 20 : PromisedLines;
}

// Blocks like a device that does not answer; Wake says what ends it.
template <typename Wake>
void block(Wake Until)
{
    blocked = true;
    while (!Until())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    blocked = false;
}

} // namespace

extern "C" {

void vmfault_release()
{
    released = true;
}

int vmfault_closed()
{
    return closed;
}

// 1 while a scan blocks in sane_read.
int vmfault_blocked()
{
    return blocked;
}

SANE_Status sane_vmfault_init(SANE_Int *Version, SANE_Auth_Callback)
{
    if (Version)
        *Version = SANE_VERSION_CODE(1, 0, 0);
    return SANE_STATUS_GOOD;
}

void sane_vmfault_exit() {}

SANE_Status sane_vmfault_get_devices(const SANE_Device ***List, SANE_Bool)
{
    *List = devices;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_vmfault_open(SANE_String_Const, SANE_Handle *Handle)
{
    *Handle = const_cast<SANE_Device *>(&device);
    return SANE_STATUS_GOOD;
}

void sane_vmfault_close(SANE_Handle)
{
    ++closed;
}

const SANE_Option_Descriptor *sane_vmfault_get_option_descriptor(SANE_Handle, SANE_Int Option)
{
    return Option == 0 ? &count : nullptr;
}

SANE_Status sane_vmfault_control_option(SANE_Handle, SANE_Int Option, SANE_Action Action, void *Value, SANE_Int *)
{
    if (Option != 0 || Action != SANE_ACTION_GET_VALUE)
        return SANE_STATUS_INVAL;
    *static_cast<SANE_Word *>(Value) = 1;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_vmfault_get_parameters(SANE_Handle, SANE_Parameters *Params)
{
    Params->format = SANE_FRAME_RGB;
    Params->last_frame = SANE_TRUE;
    Params->pixels_per_line = Width;
    Params->bytes_per_line = mode == "lie" ? Width : 3 * Width;
    Params->lines = mode == "unknown" ? -1 : PromisedLines;
    Params->depth = 8;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_vmfault_start(SANE_Handle)
{
    const char *asked = std::getenv("VELLUMORA_FAULT_MODE");
    mode = asked ? asked : "good";
    cancelled = false;
    released = false;
    linesSent = 0;
    byteInLine = 0;
    return SANE_STATUS_GOOD;
}

SANE_Status sane_vmfault_read(SANE_Handle, SANE_Byte *Data, SANE_Int Max, SANE_Int *Length)
{
    *Length = 0;
    if (mode == "stall") {
        block([] { return cancelled.load(); });
        return SANE_STATUS_CANCELLED;
    }
    if (mode == "hang") {
        block([] { return released.load(); });
        return SANE_STATUS_CANCELLED;
    }
    if (cancelled)
        return SANE_STATUS_CANCELLED;
    const SANE_Int rowBytes = mode == "lie" ? Width : 3 * Width;
    if (linesSent >= deliveredLines())
        return SANE_STATUS_EOF;
    const SANE_Int n = std::min(Max, rowBytes - byteInLine);
    for (SANE_Int i = 0; i < n; ++i)
        Data[i] = static_cast<SANE_Byte>(linesSent + byteInLine + i);
    byteInLine += n;
    if (byteInLine == rowBytes) {
        byteInLine = 0;
        ++linesSent;
    }
    *Length = n;
    return SANE_STATUS_GOOD;
}

void sane_vmfault_cancel(SANE_Handle)
{
    cancelled = true;
}

SANE_Status sane_vmfault_set_io_mode(SANE_Handle, SANE_Bool NonBlocking)
{
    return NonBlocking ? SANE_STATUS_UNSUPPORTED : SANE_STATUS_GOOD;
}

SANE_Status sane_vmfault_get_select_fd(SANE_Handle, SANE_Int *)
{
    return SANE_STATUS_UNSUPPORTED;
}

} // extern "C"
