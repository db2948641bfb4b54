#pragma once

// The real data source manager, loaded the way the application loads it. The test
// holds its own handle on the very same library file, so its Vfb* controls reach the
// manager's state and the state survives the layer's unload and reload.

#include "scanner/TwainManager.h"

#include "../../twain-dsm/DsmControl.h"

#include <QObject>
#include <QString>

#include <memory>
#include <string>
#include <vector>

class TDsmFixture
{
public:
    TDsmFixture();
    ~TDsmFixture();

    // The folder the build put the manager library in.
    static QString LibraryDir();

    // A manager watching Window that finds the library in LibraryDir() only.
    std::unique_ptr<TTwainManager> MakeManager(QObject *Window) const;

    void Set(const char *Key, const char *Value) const;
    std::vector<VfbTriplet> Triplets() const;
    // The triplets as "DG/DAT/MSG=RC" texts in hex, for readable comparisons.
    std::vector<std::string> TripletTexts(size_t From = 0) const;
    bool LastImage(VfbImage &Out) const { return lastImage_(&Out) == 0; }
    // Every setting back to its default, the record emptied and every session ended,
    // as a manager left in a state no application can leave cleanly needs.
    void ResetManager() const { reset_(); }

private:
    void *handle_ = nullptr;
    void (*reset_)() = nullptr;
    int (*set_)(const char *, const char *) = nullptr;
    size_t (*count_)() = nullptr;
    int (*at_)(size_t, VfbTriplet *) = nullptr;
    int (*lastImage_)(VfbImage *) = nullptr;
};

// The colour a rendered pixel must show, from the image exactly as the source handed it out.
QRgb RenderedPixel(const VfbImage &Image, int X, int Y);
