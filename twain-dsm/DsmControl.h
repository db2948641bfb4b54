#pragma once

// Control of the data source manager's simulated sources, exported beside DSM_Entry,
// and the report of its SANE probe.
// Tests (and demos) find these with dlsym on the very library handle the application
// loaded, script faults, and read back every triplet the manager received.
//
// Settings hold until VfbReset. Numbers may be written in decimal or with 0x.
//
// The manager itself, as any TWAIN application meets it:
// - Several applications (identities) may open it at once; each has its own status and
//   listing. A source answers only the application that opened it: any other gets
//   TWRC_FAILURE with TWCC_BADDEST, and TWCC_MAXCONNECTIONS when it tries to open it.
// - Every source keeps the standard's state table: a call out of state answers
//   TWRC_FAILURE with TWCC_SEQERROR (closing only from state 4, disabling only from 5).
// - DAT_STATUS to the manager answers from the moment the library is loaded.
// - MSG_USERSELECT shows nothing (the manager has no window): it answers the listed
//   source whose ProductName the application filled in, else the default source, with
//   TWRC_SUCCESS; TWRC_FAILURE with TWCC_NODS when there is none.
// - TWAIN 2: an application that sets DF_APP2 gets DF_DSM2 back; DAT_ENTRYPOINT gives
//   the memory functions (calloc blocks, as every handle the sources hand out);
//   DAT_CALLBACK or DAT_CALLBACK2 / MSG_REGISTER_CALLBACK to an open source (state 4)
//   makes the manager announce MSG_XFERREADY and MSG_CLOSEDSREQ by calling back, from a
//   thread of its own and without holding its lock, with the source as origin, the
//   application as destination, DG_CONTROL / DAT_NULL and no data.
// - A memory transfer's strip holds whole rows (Rows x BytesPerRow bytes, YOffset its
//   first row); a buffer smaller than one row is refused with TWCC_BADVALUE.

#include <cstddef>
#include <cstdint>

extern "C" {

// One call of DSM_Entry as the manager received and answered it.
struct VfbTriplet
{
    uint32_t Dg;
    uint16_t Dat;
    uint16_t Msg;
    uint16_t Rc;        // the return code given back
    uint16_t Cc;        // the condition code the call left behind (TWCC_SUCCESS when none)
    uint32_t DestId;    // Id of the destination identity; 0 for calls to the manager itself
};

// The last image a source (a SANE device too) made for a transfer, exactly as it handed
// it out: rows top-down, samples in TWAIN order (RGB), each row padded to RowBytes (a
// multiple of 4, as in a DIB). Valid until the next scan or VfbReset.
struct VfbImage
{
    int32_t Width;
    int32_t Height;
    int32_t BitsPerPixel;   // 1, 8 or 24
    int32_t PixelType;      // TWPT_BW, TWPT_GRAY, TWPT_RGB or TWPT_PALETTE
    int32_t PixelFlavor;    // TWPF_CHOCOLATE or TWPF_VANILLA (meaningful for BW)
    uint32_t RowBytes;
    const uint8_t *Rows;
    int32_t PaletteCount;   // entries in Palette (TWPT_PALETTE only)
    const uint8_t *Palette; // PaletteCount red, green, blue triples
    double XResolution;     // dots per inch, whatever unit the application chose
    double YResolution;
};

// Every setting back to its default, the triplet record emptied, and every session
// ended with its sources closed, as if the manager had just been loaded; a test calls
// this before it loads the manager.
void VfbReset(void);

// Sets one behaviour. Returns 0, or -1 for an unknown key or a value it cannot read.
// An empty Value removes a "fail", "capfail" or "xfer_result" entry.
//
//   "sources"          number of simulated flatbeds listed (1 to 8; default 1). The
//                      first is named "Virtual Flatbed", the others "Virtual Flatbed 2", ...
//                      0 lists none, as on a machine without a scanner.
//   "default_source"   index MSG_GETDEFAULT reports (default 0; -1: the call fails)
//   "fail D T M"       every call with data group D, data type T, message M answers
//                      Value "RC CC" (return code, condition code), e.g.
//                      VfbSet("fail 1 3 0x401", "1 4") refuses MSG_OPENDS
//   "capfail C M"      DAT_CAPABILITY with capability C and message M answers "RC CC",
//                      e.g. VfbSet("capfail 0x101 6", "1 13"); "2 0" gives TWRC_CHECKSTATUS
//                      (the value is then taken, rounded, as a real source would)
//                      A scripted TWRC_SUCCESS, TWRC_CHECKSTATUS or TWRC_XFERDONE (in
//                      "fail", "capfail" and "xfer_result" alike) still lets the call do
//                      its work and only changes its answer; any other code refuses it.
//   "units_container"  "enumeration" (default) or "onevalue": the container the
//                      ICAP_UNITS MSG_GET answer uses
//   "pixel_flavor"     0 or 1: current ICAP_PIXELFLAVOR (default 0)
//   "pending"          images scanned per enable (default 1; CAP_XFERCOUNT may ask for fewer)
//   "pending_unknown"  1: MSG_ENDXFER reports 0xFFFF while images remain (0 at the end)
//   "xfer_result N"    the image request of image N (from 1, per enable) answers "RC CC",
//                      e.g. "3 0" cancel, "1 2" failure with TWCC_LOWMEMORY
//   "event"            "xferready" (default) or "closereq": what an enabled source
//                      announces through MSG_PROCESSEVENT once its scan time has passed
//   "scan_ms"          simulated scan time after MSG_ENABLEDS (default 800; tests use 0)
//   "preferred"        TW_SETUPMEMXFER.Preferred (default 65536); "min_buf", "max_buf" likewise
//                      (each raised to one row of the image when it is smaller)
//   "strip_rows"       rows per memory strip, 0 (default) for as many as the buffer holds
//   "row_bytes"        "dib" (default): strip rows padded to 4 bytes as in a DIB;
//                      "tight": no padding (BytesPerRow 753 for 251 RGB pixels)
//   "file_name"        file a file transfer writes (default: "vellumora-vfb.bmp" in a
//                      private folder of this process in the temporary folder, removed
//                      at exit); "file_format" its TWFF code (default TWFF_BMP)
//   "bad"              one misbehaviour of a broken source, or "" for none:
//                      "native_bisize"     biSize far larger than the block
//                      "native_clrused"    biClrUsed of 1,000,000
//                      "native_bitcount"   biBitCount 13
//                      "native_width0"     biWidth 0
//                      "native_height_neg" biHeight -1
//                      "mem_byteswritten"  BytesWritten larger than the buffer's Length
//                      "mem_extra"         one strip more, its rows past the image's end
//                      "mem_rowbytes_short" BytesPerRow one less than the pixels need
//                      "mem_compressed"    strips marked compressed (TWCP_PACKBITS)
//                      "mem_short"         TWRC_XFERDONE after the first strip
//                      "info_zero"         TW_IMAGEINFO with width 0
//                      "info_negative"     TW_IMAGEINFO with length -5
//                      "info_huge"         TW_IMAGEINFO of 2,000,000,000 x 2,000,000,000 at 32 bpp
int VfbSet(const char *Key, const char *Value);

// The triplets received since the last reset, in order (the first million of them).
size_t VfbTripletCount(void);
// Copies triplet Index into Out; returns 0, or -1 when Index is out of range.
int VfbTripletAt(size_t Index, VfbTriplet *Out);

// Fills Out with the last rendered image; returns 0, or -1 when none was rendered.
int VfbLastImage(VfbImage *Out);

// One line on the SANE probe of the latest manager session (MSG_OPENDSM), for the
// application's run log, e.g. "SANE devices: 2 (test); probed local devices in 12 ms"
// (the parentheses name the backends probed) or why none are listed. Copies it to
// Buffer, cut to Size - 1 bytes and NUL-terminated whenever Size > 0; Buffer may be
// null when Size is 0. Returns the length of the whole line without the NUL, so a
// caller can size a buffer and ask again. Safe from any thread; never fails.
//
// Which SANE devices are listed follows the environment at MSG_OPENDSM:
// VELLUMORA_SANE=0 lists none, VELLUMORA_SANE=network adds network scanners (their
// discovery takes seconds), anything else lists local devices; SANE_CONFIG_DIR as
// SANE itself reads it.
int VellumoraDsmProbeReport(char *Buffer, size_t Size);

} // extern "C"
