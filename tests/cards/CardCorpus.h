#pragma once

// Scanned glasses made to order, with the truth about every card on them: cards
// of several designs with rounded corners, turned and placed on a white or a
// black lid, blurred as a scanner's optics blur, with the shadow line a lifted
// card casts, sensor noise and dust. The tests and the benchmarks make their
// corpus here, so no picture needs to live in the repository.

#include "cards/CardFinder.h"

#include <QImage>
#include <QPointF>
#include <QSizeF>

#include <array>
#include <cstdint>
#include <vector>

enum class TCardDesign {
    DarkBorder,    // a near-black frame around coloured art
    LightBorder,   // a cream frame, hardly apart from a white lid
    ColourFrame,   // a saturated frame of medium brightness
    Token,         // mostly white, a thin line frame and a small picture
};
inline constexpr int kCardDesignCount = 4;

struct TPlacedCard
{
    QPointF CentreMm;
    double AngleDegrees = 0;   // clockwise positive
    TCardDesign Design = TCardDesign::DarkBorder;
    uint32_t Seed = 1;         // the art, title and text of this card
    // The frame, colours and layout of the card's set; 0 gives the card its own.
    uint32_t SetSeed = 0;
};

struct TGlassLayout
{
    double Dpi = 300;
    QSizeF GlassMm{210, 297};
    TCardSize Card{63, 88};
    bool BlackLid = false;
    std::vector<TPlacedCard> Cards;
    double BlurMm = 0.07;          // the optics' Gaussian blur (sigma)
    double NoiseSigma = 2.5;       // per channel, in grey levels
    int DustSpecks = 25;
    // The lamp's shadow: the card's outline moved by ShadowOffsetMm and
    // softened, darkening the lid by up to ShadowStrength.
    QPointF ShadowOffsetMm{0.12, 0.18};
    double ShadowSoftMm = 0.08;
    double ShadowStrength = 0.45;
    // A broad, faint shading all round, where the lid bends over the card.
    double HaloStrength = 0.0;
    // The exposure: every level multiplied by Gain, then Offset added.
    double Gain = 1;
    double Offset = 0;
    uint32_t Seed = 1;             // noise and dust
};

struct TTruthCard
{
    std::array<QPointF, 4> Corners;   // top-left, top-right, bottom-right, bottom-left
    double AngleDegrees = 0;
};

struct TGlass
{
    QImage Image;   // Format_RGB32
    std::vector<TTruthCard> Truth;
};

TGlass RenderGlass(const TGlassLayout &Layout);

// Card Index as the scanner renders it, upright and cut to CardPixelSize: its
// blur and the lid in its rounded corners included, noise and dust left out.
QImage RenderReference(const TGlassLayout &Layout, int Index);

// A glass of Count cards (1 to 9) in rows, each turned by up to MaxAngle
// degrees, with at least GapMm between neighbours; designs, lid, blur, shadow,
// noise and dust vary with Seed.
TGlassLayout RandomGlass(uint32_t Seed, double Dpi, int Count, double MaxAngle, double GapMm);

double Psnr(const QImage &A, const QImage &B);
