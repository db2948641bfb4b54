#include "app/AppForms.h"
#include "platform/AppPaths.h"
#include "platform/Application.h"
#include "platform/MessageCatalogue.h"
#include "platform/TerminationSignals.h"

#include <QDir>

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    QuitOnTerminationSignals();
    InitMessageCatalogue(ExeDir() + QStringLiteral("locale"));

    TAppForms forms;
    bool started = false;
    RunGuarded([&] {
        StartUp(forms);
        started = true;
    });
    if (!started)
        return 1;
    forms.frmMain->show();
    return app.exec();
}
