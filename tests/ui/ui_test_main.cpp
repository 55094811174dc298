#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

int main(int argc, char* argv[])
{
    // gtest_discover_tests runs this binary at build time without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt warns without a runtime folder of its own (mode 0700).
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        std::string folder = "/tmp/movanta-ui-tests-XXXXXX";
        if (mkdtemp(folder.data()) != nullptr)
            qputenv("XDG_RUNTIME_DIR", folder.c_str());
    }

    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
