// main() of every GUI test executable: a QApplication on the offscreen platform under the C locale, with
// the XDG folders in a temporary folder so that nothing reaches the user's own files.
#include <QApplication>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    char pattern[] = "/tmp/halcyra-gui-test-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return 2;
    const std::string root = pattern;
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        setenv(variable, (root + "/" + variable).c_str(), 1);
    setenv("XDG_RUNTIME_DIR", root.c_str(), 1); // must exist, mode 0700
    ::testing::InitGoogleTest(&argc, argv);
    int result = 0;
    {
        QApplication application(argc, argv);
        std::setlocale(LC_ALL, "C.UTF-8");
        result = RUN_ALL_TESTS();
    }
    std::filesystem::remove_all(root);
    return result;
}
