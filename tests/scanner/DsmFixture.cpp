#include "DsmFixture.h"

#include <gtest/gtest.h>

#include <QFile>

#include <cstdio>
#include <dlfcn.h>

QString TDsmFixture::LibraryDir()
{
    return QStringLiteral(VELLUMORA_DSM_DIR);
}

TDsmFixture::TDsmFixture()
{
    const QString path = LibraryDir() + QLatin1Char('/') + QLatin1String(DsmFileName);
    handle_ = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_)
        throw std::runtime_error(std::string("cannot load the manager: ") + dlerror());
    reset_ = reinterpret_cast<void (*)()>(dlsym(handle_, "VfbReset"));
    set_ = reinterpret_cast<int (*)(const char *, const char *)>(dlsym(handle_, "VfbSet"));
    count_ = reinterpret_cast<size_t (*)()>(dlsym(handle_, "VfbTripletCount"));
    at_ = reinterpret_cast<int (*)(size_t, VfbTriplet *)>(dlsym(handle_, "VfbTripletAt"));
    lastImage_ = reinterpret_cast<int (*)(VfbImage *)>(dlsym(handle_, "VfbLastImage"));
    if (!reset_ || !set_ || !count_ || !at_ || !lastImage_)
        throw std::runtime_error("the manager lacks its Vfb controls");
    reset_();
    Set("scan_ms", "0");
}

TDsmFixture::~TDsmFixture()
{
    reset_();
    dlclose(handle_);
}

std::unique_ptr<TTwainManager> TDsmFixture::MakeManager(QObject *Window) const
{
    auto manager = std::make_unique<TTwainManager>(Window);
    manager->DsmSearchFolders = {LibraryDir()};
    return manager;
}

void TDsmFixture::Set(const char *Key, const char *Value) const
{
    ASSERT_EQ(set_(Key, Value), 0) << Key << " = " << Value;
}

std::vector<VfbTriplet> TDsmFixture::Triplets() const
{
    std::vector<VfbTriplet> all(count_());
    for (size_t i = 0; i < all.size(); ++i)
        at_(i, &all[i]);
    return all;
}

std::vector<std::string> TDsmFixture::TripletTexts(size_t From) const
{
    std::vector<std::string> texts;
    const std::vector<VfbTriplet> all = Triplets();
    for (size_t i = From; i < all.size(); ++i) {
        char text[48];
        std::snprintf(text, sizeof text, "%X/%X/%X=%X", unsigned(all[i].Dg), unsigned(all[i].Dat),
                      unsigned(all[i].Msg), unsigned(all[i].Rc));
        texts.emplace_back(text);
    }
    return texts;
}

QRgb RenderedPixel(const VfbImage &Image, int X, int Y)
{
    const uint8_t *row = Image.Rows + size_t(Y) * Image.RowBytes;
    switch (Image.BitsPerPixel) {
    case 1: {
        const bool set = (row[X / 8] >> (7 - X % 8)) & 1;
        // Chocolate: 0 is black; vanilla: 0 is white.
        const bool white = Image.PixelFlavor == TWPF_VANILLA ? !set : set;
        return white ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    }
    case 8:
        if (Image.PixelType == TWPT_PALETTE) {
            const int i = row[X];
            if (i >= Image.PaletteCount)
                return qRgb(0, 0, 0);
            return qRgb(Image.Palette[3 * i], Image.Palette[3 * i + 1], Image.Palette[3 * i + 2]);
        }
        return qRgb(row[X], row[X], row[X]);
    default:
        return qRgb(row[3 * X], row[3 * X + 1], row[3 * X + 2]);
    }
}
