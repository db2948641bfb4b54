#include "output/SaveJpeg.h"

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
    const bool WebWritten = WriteHqAndWebJpeg(
        Picture, HqFileName, LongSide, Quality, WebFileName, Ratio, WatermarkText, [&](bool HqWritten) {
            if (!HqWritten)
                MessageDlg(_("Cannot save JPEG file!"), TMsgDlgType::Error);
            if (AfterHqSaved)
                AfterHqSaved();
        });
    if (!WebWritten)
        MessageDlg(_("Cannot save scaled JPEG file!"), TMsgDlgType::Error);
}
