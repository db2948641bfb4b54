#include "app/AppForms.h"
#include "platform/AppError.h"
#include "platform/AppPaths.h"
#include "platform/Application.h"
#include "platform/MessageCatalogue.h"
#include "platform/TerminationSignals.h"
#include "settings/VerInfo.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

namespace {

// --help and --version answer before any window system is touched, so they work
// over ssh and in scripts. Returns the exit code, or -1 to start the application.
int answerInformationOptions(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0)
            return PrintProgramVersion("vellumora");
        if (std::strcmp(argv[i], "--help") == 0) {
            // The help speaks the user's language too; finding the catalogues
            // needs the executable's folder, which needs an application object.
            QCoreApplication core(argc, argv);
            InitMessageCatalogue(MessageCatalogueLocation());
            const QString help = _("Usage: vellumora [OPTION]...\n"
                                   "Digitise collectible cards one by one with a flatbed scanner.\n"
                                   "\n"
                                   "      --help     display this help and exit\n"
                                   "      --version  output version information and exit\n"
                                   "\n"
                                   "Qt's own options (such as -platform NAME) are accepted too.\n"
                                   "Scans are stored in \"pics\" beside the program when it may write\n"
                                   "there, else in ~/.local/share/Vellumora/pics.\n");
            std::fputs(help.toLocal8Bit().constData(), stdout);
            return 0;
        }
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (const int code = answerInformationOptions(argc, argv); code >= 0)
        return code;

    TApplication app(argc, argv);
    QuitOnTerminationSignals();
    InitMessageCatalogue(MessageCatalogueLocation());

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
