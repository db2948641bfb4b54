#pragma once

// The data source manager loaded with dlopen as the application loads it, and the
// calls both the flatbed's and the SANE devices' tests make through DSM_Entry.

#include "DsmControl.h"
#include "scanner/TwainTypes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include <dlfcn.h>

class TDsmTestBase : public ::testing::Test
{
public:
    // Loads the library and finds DSM_Entry; the application identity is named ProductName.
    void LoadManager(const char *ProductName)
    {
        app_ = TW_IDENTITY{};
        source_ = TW_IDENTITY{};
        library_ = dlopen(VFB_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
        entry_ = reinterpret_cast<DSMENTRYPROC>(dlsym(library_, "DSM_Entry"));
        lastImage_ = reinterpret_cast<int (*)(VfbImage *)>(dlsym(library_, "VfbLastImage"));
        ASSERT_TRUE(entry_ && lastImage_);
        app_.ProtocolMajor = 1;
        app_.ProtocolMinor = 9;
        std::strcpy(app_.ProductName, ProductName);
    }

    // The flatbed alone, whatever scanners this machine has, with every scripted
    // behaviour reset and scans that take no time.
    void LoadFlatbed(const char *ProductName)
    {
        setenv("VELLUMORA_SANE", "0", 1);
        LoadManager(ProductName);
        if (HasFatalFailure())
            return;
        set_ = reinterpret_cast<int (*)(const char *, const char *)>(dlsym(library_, "VfbSet"));
        auto reset = reinterpret_cast<void (*)()>(dlsym(library_, "VfbReset"));
        ASSERT_TRUE(set_ && reset);
        reset();
        Set("scan_ms", "0");
    }

    void Set(const char *Key, const char *Value) { ASSERT_EQ(set_(Key, Value), 0) << Key << "=" << Value; }

    void TearDown() override
    {
        if (!library_)
            return;
        // Whatever state a test left: back out step by step, ignoring sequence errors.
        // The library stays loaded (it pins itself), so the next test finds it closed.
        TW_PENDINGXFERS pending{};
        call(&source_, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
        call(&source_, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
        call(&source_, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, nullptr);
        call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_);
        call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr);
        dlclose(library_);
    }

    TW_UINT16 call(TW_IDENTITY *Dest, TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg, void *Data)
    {
        return entry_(&app_, Dest, Dg, Dat, Msg, Data);
    }
    TW_UINT16 toSource(TW_UINT32 Dg, TW_UINT16 Dat, TW_UINT16 Msg, void *Data)
    {
        return call(&source_, Dg, Dat, Msg, Data);
    }
    TW_UINT16 status(TW_IDENTITY *Dest)
    {
        TW_STATUS s{0xEEEE, 0};
        EXPECT_EQ(call(Dest, DG_CONTROL, DAT_STATUS, MSG_GET, &s), TWRC_SUCCESS);
        return s.ConditionCode;
    }
    void openManager() { ASSERT_EQ(call(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr), TWRC_SUCCESS); }
    // The manager, then its default source.
    void openSource()
    {
        openManager();
        ASSERT_EQ(call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &source_), TWRC_SUCCESS);
        ASSERT_EQ(call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source_), TWRC_SUCCESS);
    }
    TW_UINT16 setOne(TW_UINT16 Cap, TW_UINT16 Type, TW_UINT32 Item)
    {
        TW_ONEVALUE one{Type, Item};
        TW_CAPABILITY cap{Cap, TWON_ONEVALUE, &one};
        return toSource(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap);
    }
    TW_UINT16 setFix32(TW_UINT16 Cap, double Value)
    {
        const TW_FIX32 fix = ToFix32(Value);
        TW_UINT32 bits;
        std::memcpy(&bits, &fix, 4);
        return setOne(Cap, TWTY_FIX32, bits);
    }
    TW_UINT16 setFrame(double L, double T, double R, double B)
    {
        TW_IMAGELAYOUT layout{{ToFix32(L), ToFix32(T), ToFix32(R), ToFix32(B)}, 0, 0, 0};
        return toSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout);
    }
    TW_UINT16 endXfer()
    {
        TW_PENDINGXFERS pending{0xEEEE, 0};
        EXPECT_EQ(toSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_SUCCESS);
        return pending.Count;
    }
    VfbImage last()
    {
        VfbImage image{};
        EXPECT_EQ(lastImage_(&image), 0);
        return image;
    }

    TW_IDENTITY app_{};
    TW_IDENTITY source_{};
    void *library_ = nullptr;
    DSMENTRYPROC entry_ = nullptr;
    int (*lastImage_)(VfbImage *) = nullptr;
    int (*set_)(const char *, const char *) = nullptr;
};
