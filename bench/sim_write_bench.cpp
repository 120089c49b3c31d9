// How fast the flash write and verify run on the simulated target: on real time against the
// waits the protocol asked for, and on virtual time in CPU seconds for a full 128 KiB part.
#include "app/app_state.h"
#include "engine/device_database.h"
#include "engine/flash_write.h"
#include "engine/memory_commands.h"
#include "engine/port_io.h"
#include "engine/port_lines.h"
#include "sim/simulated_port.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace zelk {
namespace {

class QuietUi : public TargetUi {
public:
    void ShowMessage(const std::string& text) override { last = text; }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void SetDeviceText(const std::string&) override {}
    void ProgressOpen() override {}
    void ProgressSet(int) override {}
    void ProgressAttachCancel(std::atomic<int>*) override {}
    void ProgressClose() override {}
    void ImageChanged(MemoryKind, std::uint32_t) override {}
    void PostFlashWriteDone() override {}
    std::string last;
};

bool Attach(const std::string& device, bool virtualTime, AppState& app) {
    SimConfig config;
    std::string error;
    app.deviceDatabase = FindDeviceDatabase();
    if (!FindSimDevice(app.deviceDatabase, device, config.device, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    config.virtualTime = virtualTime;
    SetPortOpener(MakeSimulatedPortOpener(config));
    ResetEngineState();
    return true;
}

// Writes a patterned image over the whole flash and verifies it.
bool WriteAndVerify(AppState& app, QuietUi& ui) {
    for (std::size_t i = 0; i < app.flashImage.size(); ++i) {
        app.flashImage[i] = static_cast<std::uint8_t>(i * 13 + 1);
    }
    if (!EraseChip(app, ui) || !WriteFlash(app, ui)) {
        return false;
    }
    WaitForFlashWrite();
    return OnFlashWriteDone(app, ui, FlashWriteDoneParam) && VerifyFlash(app, ui);
}

int Run() {
    char folder[] = "/tmp/zelk-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr || setenv("XDG_CONFIG_HOME", folder, 1) != 0) {
        return 1;
    }

    AppState realApp;
    QuietUi ui;
    if (!Attach("ATmega8", false, realApp)) {
        return 1;
    }
    const std::uint64_t askedBefore = RequestedDelayMicroseconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    if (!WriteAndVerify(realApp, ui)) {
        std::fprintf(stderr, "real-time run failed: %s\n", ui.last.c_str());
        return 1;
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    const double asked = static_cast<double>(RequestedDelayMicroseconds() - askedBefore) / 1e6;
    std::printf("ATmega8 8 KiB write+verify, real time: wall %.3f s, waits asked %.3f s, "
                "ratio %.3f (goal < 1.10)\n",
                wall, asked, wall / asked);

    AppState virtualApp;
    if (!Attach("ATmega128", true, virtualApp)) {
        return 1;
    }
    const std::clock_t cpuBefore = std::clock();
    if (!WriteAndVerify(virtualApp, ui)) {
        std::fprintf(stderr, "virtual-time run failed: %s\n", ui.last.c_str());
        return 1;
    }
    const double cpu = static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    std::printf("ATmega128 128 KiB write+verify, virtual time: CPU %.3f s (goal < 5 s)\n", cpu);
    ClosePort();
    std::filesystem::remove_all(folder);
    return 0;
}

} // namespace
} // namespace zelk

int main() {
    return zelk::Run();
}
