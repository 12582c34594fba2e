#include <QGuiApplication>

#include <gtest/gtest.h>

// The services draw text into images (fonts need a GUI application) and finish
// their futures on the GUI thread's event loop. Test discovery runs this program
// at build time without a display, so the off-screen platform is the default.
int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
