// main() for GoogleTest programs that need a QApplication (widgets, event
// loops, the network stack), or, built with TESSAL_TEST_CORE_APPLICATION,
// a QCoreApplication (the tunnels, which have no window). The application
// object lives for the whole run.

#ifdef TESSAL_TEST_CORE_APPLICATION
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#else
#include <QApplication>
using TestApplication = QApplication;
#endif
#include <QByteArray>
#include <cstring>
#include <memory>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0)
            listing = true;
    std::unique_ptr<TestApplication> app;
    if (!listing) {
        // Tests never need a real display.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<TestApplication>(argc, argv);
    }
    return RUN_ALL_TESTS();
}
