#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv)
{
    // Tests never need a display: they drive real widgets offscreen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
