// main() of the test programs that need Qt's event loop but no widgets (the
// bench tools' adapters on Qt SerialBus and SerialPort).
#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
