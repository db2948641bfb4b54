// One QApplication for the whole test executable, made before any test runs.
#include "platform/Application.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                     : qgetenv("QT_QPA_PLATFORM"));
    if (qgetenv("XDG_RUNTIME_DIR").isEmpty()) {
        const QByteArray runtime = QByteArray("/tmp/vellumora-tests-") + QByteArray::number(getuid());
        mkdir(runtime.constData(), 0700);
        qputenv("XDG_RUNTIME_DIR", runtime);
    }
    TApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
