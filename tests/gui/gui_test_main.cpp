// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the GUI tests on the offscreen platform, with the settings store and the simulator's
// state in a folder of their own.
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <QApplication>
#include <string>

int main(int argc, char* argv[]) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::string folder = (std::filesystem::temp_directory_path() / "zelk-gui-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        return EXIT_FAILURE;
    }
    setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
    setenv("XDG_STATE_HOME", (folder + "/state").c_str(), 1);

    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return result;
}
