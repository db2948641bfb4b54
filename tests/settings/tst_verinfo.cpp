#include "settings/About.h"
#include "settings/VerInfo.h"

#include "platform/AppError.h"
#include "platform/AppPaths.h"
#include "support/DialogRecorder.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QtEndian>

#include <elf.h>

#include <cstring>

namespace {

const QString CantLoad = QStringLiteral("Can't load version information");
const QString CantRead = QStringLiteral("Can't read fixed file information");
const QString WrongSize = QStringLiteral("Fixed file information record wrong size");

void set16(QByteArray &Bytes, qsizetype At, quint16 Value)
{
    qToLittleEndian(Value, Bytes.data() + At);
}

// One block as a resource compiler lays it out, lengths filled in.
QByteArray block(const char *Key, quint16 Type, const QByteArray &Value, quint16 ValueLength,
                 const QByteArray &Children = {})
{
    QByteArray bytes(6, '\0');
    auto padTo4 = [&bytes] { bytes.append((4 - bytes.size() % 4) % 4, '\0'); };
    for (const char *c = Key; *c; ++c)
        bytes.append(*c).append('\0');
    bytes.append(2, '\0');
    padTo4();
    bytes += Value;
    padTo4();
    bytes += Children;
    set16(bytes, 0, quint16(bytes.size()));
    set16(bytes, 2, ValueLength);
    set16(bytes, 4, Type);
    return bytes;
}

// The error message reading FileName raises, empty when none.
QString errorReading(const QString &FileName)
{
    try {
        TVerInfo info(FileName);
    } catch (const EAppError &e) {
        return e.Message();
    }
    return {};
}

QString testExecutable()
{
    return QCoreApplication::applicationFilePath();
}

// A copy of this test executable, handed to Change with the bytes of the whole
// file and where its version section lies.
QString changedCopy(const TTestEnvironment &Env,
                    const std::function<void(QByteArray &, const TElfSection &)> &Change)
{
    QFile original(testExecutable());
    EXPECT_TRUE(original.open(QIODevice::ReadOnly));
    QByteArray bytes = original.readAll();
    const TElfSection section = FindElfSection(testExecutable(), VELLUMORA_VERSION_SECTION);
    EXPECT_EQ(section.Lookup, TElfLookup::Found);
    Change(bytes, section);
    return Env.WriteFile(QStringLiteral("changed"), bytes);
}

QString truncatedCopy(const TTestEnvironment &Env)
{
    return changedCopy(Env, [](QByteArray &Bytes, const TElfSection &Section) {
        Bytes.truncate(qsizetype(Section.Offset + Section.Size / 2));
    });
}

} // namespace

TEST(TVerInfo, TheBuiltExecutableCarriesVersionAndTranslation)
{
    const TVerInfo info(testExecutable());
    ASSERT_TRUE(info.HasVerInfo);
    EXPECT_EQ(info.FixedFileInfo.dwSignature, FixedFileInfoSignature);
    EXPECT_EQ(info.FixedFileInfo.dwFileVersionMS, (1u << 16) | 3u);
    EXPECT_EQ(info.FixedFileInfo.dwFileVersionLS, (3u << 16) | 20u);
    EXPECT_EQ(info.Translations, std::vector<quint32>{0x04B00409});
}

TEST(TVerInfo, FilesWithoutTheSectionHaveNoVersionAndRaiseNothing)
{
    TTestEnvironment env;
    const QString trueCopy = env.Path(QStringLiteral("true"));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/true"), trueCopy));
    for (const QString &file : {trueCopy, env.WriteFile(QStringLiteral("a.txt"), "text\n"),
                                env.WriteFile(QStringLiteral("empty"), {}),
                                env.Path(QStringLiteral("missing"))}) {
        SCOPED_TRACE(file.toStdString());
        EXPECT_EQ(errorReading(file), QString());
        EXPECT_FALSE(TVerInfo(file).HasVerInfo);
    }
}

TEST(TVerInfo, UnreadableBlocksRaiseTheirError)
{
    TTestEnvironment env;
    auto inBlock = [&](qsizetype At, quint16 Value) {
        return changedCopy(env, [=](QByteArray &Bytes, const TElfSection &Section) {
            set16(Bytes, qsizetype(Section.Offset) + At, Value);
        });
    };
    EXPECT_EQ(errorReading(inBlock(2, 48)), WrongSize);
    EXPECT_EQ(errorReading(inBlock(0, 0xFFFF)), CantRead); // root longer than the section
    EXPECT_EQ(errorReading(inBlock(0, 60)), CantRead);     // fixed info past the root's end
    EXPECT_EQ(errorReading(truncatedCopy(env)), CantLoad);

    // A section table that places the block beyond the end of the file.
    const QString beyond = changedCopy(env, [](QByteArray &Bytes, const TElfSection &Section) {
        Elf64_Ehdr header;
        std::memcpy(&header, Bytes.constData(), sizeof header);
        for (int i = 0; i < header.e_shnum; ++i) {
            Elf64_Shdr entry;
            char *at = Bytes.data() + header.e_shoff + i * header.e_shentsize;
            std::memcpy(&entry, at, sizeof entry);
            if (entry.sh_offset == Section.Offset && entry.sh_size == Section.Size) {
                entry.sh_offset = Bytes.size() + 100;
                std::memcpy(at, &entry, sizeof entry);
            }
        }
    });
    EXPECT_EQ(errorReading(beyond), CantLoad);
}

TEST(TVerInfo, QueriesWalkPastOtherBlocksAndStayInsideTheBuffer)
{
    QByteArray fixed(52, '\0');
    QByteArray translations(8, '\x11');
    const QByteArray good = block(
        "VS_VERSION_INFO", 0, fixed, 52,
        block("StringFileInfo", 1, {}, 0,
              block("040904B0", 1, {}, 0, block("FileVersion", 1, QByteArray("9\0\0\0", 4), 2)))
            + block("VarFileInfo", 1, {}, 0, block("Translation", 0, translations, 8)));

    TVerInfo info{QString()};
    info.Buffer = good;
    QByteArrayView value;
    ASSERT_TRUE(info.QueryValue(u"\\VarFileInfo\\Translation", value));
    EXPECT_EQ(value, translations);
    EXPECT_TRUE(info.QueryValue(u"\\stringfileinfo\\040904b0\\FileVersion", value));
    EXPECT_EQ(value.size(), 4);
    EXPECT_FALSE(info.QueryValue(u"\\VarFileInfo\\Missing", value));

    // Every prefix and every changed 16-bit field gives an answer that lies
    // within the buffer.
    auto walk = [&info](const QByteArray &Bytes) {
        info.Buffer = Bytes;
        QByteArrayView found;
        for (const char16_t *path : {u"\\", u"\\VarFileInfo\\Translation",
                                     u"\\StringFileInfo\\040904B0\\FileVersion"}) {
            if (!info.QueryValue(path, found) || found.empty())
                continue;
            EXPECT_GE(found.data(), info.Buffer.constData());
            EXPECT_LE(found.data() + found.size(), info.Buffer.constData() + info.Buffer.size());
        }
    };
    for (qsizetype size = 0; size <= good.size(); ++size)
        walk(good.left(size));
    for (qsizetype at = 0; at + 2 <= good.size(); ++at) {
        for (const quint16 changed : {quint16(0), quint16(1), quint16(7), quint16(0xFFFF)}) {
            QByteArray bytes = good;
            set16(bytes, at, changed);
            walk(bytes);
        }
    }
}

namespace {

class TfrmAboutTest : public ::testing::Test
{
protected:
    TTestEnvironment env;
    TDialogRecorder dialogs;
    TfrmAbout form{nullptr};
};

} // namespace

TEST_F(TfrmAboutTest, ShowingFillsVersionAndBuildDateInTheRegionalFormat)
{
    EXPECT_EQ(form.VersionLabel->text(), QStringLiteral("Version:"));
    EXPECT_EQ(form.CompilationLabel->text(), QStringLiteral("Compilation:"));

    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    SetExeFileNameOverride(testExecutable());
    form.FormShow();
    QLocale::setDefault(saved);

    EXPECT_EQ(form.VersionLabel->text(), QStringLiteral("1.3.3.20"));
    const QDate built = BuildDate();
    EXPECT_LE(built, QDate::currentDate());
    EXPECT_GE(built, QDate(2024, 1, 1));
    EXPECT_EQ(form.CompilationLabel->text(), built.toString(QStringLiteral("dd.MM.yy")));
}

TEST_F(TfrmAboutTest, WithoutVersionBlockOnlyTheDateIsFilled)
{
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/true"), ExeFileName()));
    form.FormShow();
    EXPECT_EQ(form.VersionLabel->text(), QStringLiteral("Version:"));
    EXPECT_EQ(form.CompilationLabel->text(), QLocale().toString(BuildDate(), QLocale::ShortFormat));
}

TEST_F(TfrmAboutTest, UnreadableVersionReachesTheHandlerAndFillsNothing)
{
    SetExeFileNameOverride(truncatedCopy(env));
    EXPECT_THROW(form.FormShow(), EAppError);

    // Shown for real, the box still appears and the user hears of the error.
    form.show();
    form.hide();
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Caption, QStringLiteral("Error"));
    EXPECT_EQ(dialogs.Messages[0].Text, CantLoad);
    EXPECT_EQ(form.VersionLabel->text(), QStringLiteral("Version:"));
    EXPECT_EQ(form.CompilationLabel->text(), QStringLiteral("Compilation:"));
}

TEST_F(TfrmAboutTest, MailLinkOpensAMessageWithSubject)
{
    QList<QUrl> opened;
    form.OpenUrl = [&](const QUrl &Url) {
        opened.append(Url);
        return true;
    };
    Q_EMIT form.EmailLink->linkActivated(form.EmailLink->text());
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].toString(QUrl::FullyEncoded),
              QStringLiteral("mailto:vellumora@quorvath.com?subject=Vellu%20Mora%20feedback"));
    EXPECT_TRUE(dialogs.Messages.empty());

    // Without a mail program the user is told where to write instead.
    form.OpenUrl = [](const QUrl &) { return false; };
    form.EmailLinkClick();
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_TRUE(dialogs.Messages[0].Text.contains(QStringLiteral("vellumora@quorvath.com")));
}
