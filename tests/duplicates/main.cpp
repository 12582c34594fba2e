#include <QApplication>

#include <gtest/gtest.h>

// The screen tests need an application object, and the photo tests its image
// plugins; everything draws offscreen unless told otherwise.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
