#pragma once

// A picture on the simulated flatbed's glass: when VELLUMORA_VFB_GLASS names a
// PNG, JPEG or TIFF file, every scan shows that picture instead of the
// simulated card, its top-left corner at the glass's top-left corner, at the
// resolution its file states (600 dpi when it states none), with the lid's
// white around it. The file is read afresh at every scan, so a test or a demo
// can change it between scans.
//
// The library links no Qt, so the three formats are read with their reference
// libraries (libpng, libjpeg, libtiff); each states its density its own way.

#include "CardPicture.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

inline constexpr double GlassPictureDefaultDpi = 600;

struct TGlassPicture
{
    int Width = 0;
    int Height = 0;
    double XDpi = GlassPictureDefaultDpi;
    double YDpi = GlassPictureDefaultDpi;
    std::vector<uint8_t> Rgb;   // rows top-down, red, green, blue; transparency laid on white
};

// False with a reason in Error when the file cannot be read as a picture.
bool ReadGlassPicture(const std::string &FileName, TGlassPicture &Picture, std::string &Error);

// The scan of Request with Picture on the glass, resampled with a Lanczos
// filter to the requested resolution and frame. Null without the memory.
std::unique_ptr<TRenderedImage> RenderPictureScan(const TScanRequest &Request, const TGlassPicture &Picture);

// What the flatbed scans: the picture VELLUMORA_VFB_GLASS names, or the
// simulated card without it. A picture that cannot be read fails the scan
// (null) with a message on standard error rather than scanning something else.
std::unique_ptr<TRenderedImage> RenderFlatbedScan(const TScanRequest &Request);
