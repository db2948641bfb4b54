#include "output/SaveJpeg.h"

#include "output/AtomicFile.h"
#include "output/ScanOutput.h"
#include "platform/Dialogs.h"
#include "platform/MessageCatalogue.h"

void SaveHqJpeg(const QImage &Picture, const QString &FileName)
{
    if (!WriteHqJpeg(Picture, FileName))
        MessageDlg(_("Cannot save JPEG file!"), TMsgDlgType::Error);
}

void SaveWebJpeg(const QImage &Picture, int LongSide, int Quality, const QString &FileName,
                 double Ratio, const QString &WatermarkText)
{
    if (!WriteWebJpeg(Picture, LongSide, Quality, FileName, Ratio, WatermarkText))
        MessageDlg(_("Cannot save scaled JPEG file!"), TMsgDlgType::Error);
}

void SaveHqAndWebJpeg(const QImage &Picture, const QString &HqFileName, int LongSide, int Quality,
                      const QString &WebFileName, double Ratio, const QString &WatermarkText,
                      const std::function<void()> &AfterHqSaved)
{
    TAtomicFile HqFile(HqFileName);
    TAtomicFile WebFile(WebFileName);
    const std::exception_ptr WebError =
        EncodeHqAndWeb(Picture, HqFile, WebFile, LongSide, Quality, Ratio, WatermarkText);
    if (!HqFile.Commit())
        MessageDlg(_("Cannot save JPEG file!"), TMsgDlgType::Error);
    if (AfterHqSaved)
        AfterHqSaved();
    if (WebError)
        std::rethrow_exception(WebError);
    if (!WebFile.Commit())
        MessageDlg(_("Cannot save scaled JPEG file!"), TMsgDlgType::Error);
}
