// Saves one scan, one scan area store or the settings exactly as the
// application does, for a test that kills it part way. The content depends on
// the seed, so that the test can tell an earlier save from a later one.
//   hardening_writer scan <full-size file> <web file> <seed>
//   hardening_writer areas <folder> <seed>
//   hardening_writer settings <seed>          (the store below XDG_CONFIG_HOME)

#include "hardening/FaultContent.h"
#include "output/SaveJpeg.h"
#include "platform/AppError.h"
#include "platform/Dialogs.h"
#include "scanareas/ScanAreaStore.h"
#include "settings/SettingsStore.h"

#include <QApplication>

#include <cstdio>
#include <memory>

namespace {

// A message the application would show goes to stderr: nobody is there to
// close a dialog, and the test reads what the operator would have seen.
class TPrintedDialogs : public TDialogService
{
public:
    void ShowMessage(QWidget *, const QString &, const QString &Text, TMsgDlgType, bool) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(Text));
    }
    QString GetOpenFileName(QWidget *, const QString &, const QString &) override { return {}; }
    QString GetExistingDirectory(QWidget *, const QString &, const QString &) override { return {}; }
    int ExecModal(QDialog &) override { return 0; }
    bool AskYesNo(QWidget *, const QString &, const QString &) override { return false; }
    void Beep() override {}
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TPrintedDialogs dialogs;
    SetDialogService(&dialogs);
    const QStringList args = app.arguments().mid(1);
    const int seed = args.isEmpty() ? 0 : args.last().toInt();
    try {
        if (args.size() == 4 && args[0] == u"scan") {
            const QImage picture = FaultScanPicture(seed);
            SaveHqAndWebJpeg(picture, args[1], 280, 80, args[2],
                             double(picture.width()) / picture.height(), QStringLiteral("Vellumora"),
                             {});
        } else if (args.size() == 3 && args[0] == u"areas") {
            const std::vector<TScanArea> areas = FaultScanAreas(seed);
            std::vector<const TScanArea *> stored;
            for (const TScanArea &area : areas)
                stored.push_back(&area);
            WriteScanAreaStore(args[1], stored);
        } else if (args.size() == 2 && args[0] == u"settings") {
            TStoredSettings values;
            values.TransferMode = quint8(seed % 3);
            values.FileNames = seed % 3;
            values.LastUsedScanArea = QStringLiteral("Area %1").arg(seed);
            values.WatermarkText = QStringLiteral("mark %1").arg(seed);
            SaveSettingsValues(values);
        } else {
            std::fprintf(stderr, "usage: hardening_writer scan|areas|settings ... seed\n");
            return 2;
        }
    } catch (const EAppError &error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.Message()));
        return 1;
    }
    return 0;
}
