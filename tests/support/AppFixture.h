#pragma once

#include "app/AppForms.h"
#include "support/DialogRecorder.h"
#include "support/TestEnvironment.h"

#include <memory>

// The whole application started as at run time (forms, settings, scan areas), in
// a temporary HOME with every prompt recorded.
struct TAppFixture
{
    TTestEnvironment Env;
    TDialogRecorder Dialogs;
    TAppForms Forms;

    TAppFixture() { StartUp(Forms); }
    TfrmMain &Main() { return *Forms.frmMain; }
};
