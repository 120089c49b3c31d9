#include "app/autoprogram_run.h"

#include "engine/command_support.h"
#include "engine/flash_write.h"
#include "engine/instructions.h"
#include "engine/memory_commands.h"
#include "memory/hex_file.h"

#include <cstdio>
#include <functional>
#include <span>
#include <vector>

namespace zelk {
namespace {

// Passes everything on except the steps' messages, of which it keeps the last failure: the
// run tells its outcome once.
class GatheringUi : public TargetUi {
public:
    explicit GatheringUi(TargetUi& target) : ui(target) {}
    void ShowMessage(MessageKind kind, const std::string& text) override {
        if (kind == MessageKind::Failure) {
            lastFailure = text;
        }
    }
    void BeginWaitCursor() override { ui.BeginWaitCursor(); }
    void EndWaitCursor() override { ui.EndWaitCursor(); }
    void SetDeviceText(const std::string& text) override { ui.SetDeviceText(text); }
    void ProgressOpen() override { ui.ProgressOpen(); }
    void ProgressSet(int percent) override { ui.ProgressSet(percent); }
    void ProgressAttachCancel(std::atomic<int>* flag) override { ui.ProgressAttachCancel(flag); }
    void ProgressClose() override { ui.ProgressClose(); }
    void ImageChanged(MemoryKind memory, std::uint32_t shownLength) override {
        ui.ImageChanged(memory, shownLength);
    }
    void PostFlashWriteDone() override {}

    std::string lastFailure;

private:
    TargetUi& ui;
};

bool Reload(const std::string& file, std::span<std::uint8_t> image, std::uint32_t shown,
            MemoryKind memory, TargetUi& ui) {
    if (file.empty()) {
        return true;
    }
    HexFileError error;
    if (!LoadImageFile(file, image, shown, error)) {
        std::string where = file;
        if (error.line > 0) {
            where += ", line " + std::to_string(error.line);
        }
        ui.ShowMessage(MessageKind::Failure,
                       "Urrrk, can't load that file\n" + where + ": " + error.reason);
        return false;
    }
    ui.ImageChanged(memory, shown);
    return true;
}

bool WriteTheFlash(std::unique_ptr<Programmer>& programmer, TargetImages& images, TargetUi& ui) {
    std::unique_ptr<FlashWriteWorker> worker = WriteFlash(programmer, images, ui);
    if (!worker) {
        return false;
    }
    programmer = worker->TakeProgrammer();
    if (const std::optional<std::uint32_t> failedAt = worker->FailedAt()) {
        ui.ShowMessage(MessageKind::Failure, AddressMessage("Write failed at %08X !", *failedAt));
        return false;
    }
    return true;
}

std::string Signature(Programmer& programmer) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X%02X", ReadSignatureByte(programmer, 0),
                  ReadSignatureByte(programmer, 1), ReadSignatureByte(programmer, 2));
    return text;
}

} // namespace

bool RunAutoProgram(std::unique_ptr<Programmer>& programmer, TargetImages& images,
                    const ImageFiles& files, const AutoProgramOptions& options, TargetUi& ui,
                    const std::atomic<int>& cancel, AutoProgramReport& report) {
    GatheringUi quiet(ui);
    const auto fail = [&](const std::string& step) {
        report.passed = false;
        report.outcome = "AutoProgram FAILED at " + step +
                         (quiet.lastFailure.empty() ? "." : ": " + quiet.lastFailure);
        programmer->autoProgramActive = 0;
        ReleaseTarget(*programmer);
        return false;
    };
    if (!PrepareKnownTarget(*programmer, quiet)) {
        return fail("Detect");
    }
    report.device = programmer->device.name;
    report.signature = Signature(*programmer);
    programmer->autoProgramActive = 1;

    struct Step {
        bool chosen;
        const char* name;
        std::function<bool()> run;
    };
    const std::vector<Step> steps{
        {options.eepromKeep, "Keep EEProm", [&] { return ReadEeprom(*programmer, images, quiet); }},
        {options.flashReload, "Reload Flash File",
         [&] {
             return Reload(files.flash, images.flashImage, images.flashShownLength,
                           MemoryKind::Flash, quiet);
         }},
        {options.eepromReload, "Reload EEProm File",
         [&] {
             return Reload(files.eeprom, images.eepromImage, images.eepromShownLength,
                           MemoryKind::Eeprom, quiet);
         }},
        {options.flashErase, "Erase Device",
         [&] {
             ChipErase(*programmer);
             return true;
         }},
        {options.flashProgram, "Program Flash",
         [&] { return WriteTheFlash(programmer, images, quiet); }},
        {options.flashVerify, "Verify Flash",
         [&] { return VerifyFlash(*programmer, images, quiet); }},
        {options.eepromProgram, "Program EEProm",
         [&] { return WriteEeprom(*programmer, images, quiet); }},
        {options.eepromVerify, "Verify EEProm",
         [&] { return VerifyEeprom(*programmer, images, quiet); }},
    };
    std::string done;
    for (const Step& step : steps) {
        if (!step.chosen) {
            continue;
        }
        if (cancel.load() != 0) {
            quiet.lastFailure = "cancelled";
            return fail(step.name);
        }
        if (!step.run()) {
            return fail(step.name);
        }
        done += done.empty() ? step.name : std::string(", ") + step.name;
    }
    programmer->autoProgramActive = 0;
    ReleaseTarget(*programmer);
    report.passed = true;
    report.outcome = "AutoProgram passed on " + report.device + ": " +
                     (done.empty() ? std::string("no step chosen") : done) + ".";
    return true;
}

} // namespace zelk
