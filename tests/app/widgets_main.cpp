// GoogleTest entry for the widget tests: a QApplication on the offscreen
// platform unless the caller chose another.
#include <gtest/gtest.h>

#include <QApplication>

#include "celaris/version.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QString::fromLatin1(celaris::version::kVersion));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
