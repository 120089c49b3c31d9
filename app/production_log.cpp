#include "app/production_log.h"

#include "app/file_digest.h"
#include "app/state_folder.h"
#include "platform/settings_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace zelk {
namespace {

constexpr const char* Section = "Production";

std::uint32_t Stored(const char* name) {
    const int value = ReadSettingInt(Section, name, 0);
    return value > 0 ? static_cast<std::uint32_t>(value) : 0;
}

std::string Field(std::string text) {
    std::ranges::replace_if(
        text, [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return text;
}

} // namespace

ProductionCount ProductionCount::Load() {
    ProductionCount count;
    count.totalPassed = Stored("Passed");
    count.totalFailed = Stored("Failed");
    return count;
}

void ProductionCount::Record(bool passed) {
    ++(passed ? sessionPassed : sessionFailed);
    ++(passed ? totalPassed : totalFailed);
    Store();
}

void ProductionCount::Reset() {
    *this = {};
    Store();
}

void ProductionCount::Store() const {
    WriteSettingInt(Section, "Passed", static_cast<int>(totalPassed));
    WriteSettingInt(Section, "Failed", static_cast<int>(totalFailed));
}

std::string ProductionCount::Text() const {
    return "Passed " + std::to_string(sessionPassed) + ", failed " + std::to_string(sessionFailed) +
           " (total " + std::to_string(totalPassed) + " / " + std::to_string(totalFailed) + ")";
}

std::string ProductionLogLine(const ProductionRun& run) {
    std::tm utc{};
    gmtime_r(&run.when, &utc);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &utc);
    std::string line =
        std::string(when) + "\t" + Field(run.command) + "\tdevice=" + Field(run.device) +
        "\tsignature=" + Field(run.signature) +
        "\tserial=" + (run.serialNumber ? std::to_string(*run.serialNumber) : std::string());
    for (const std::filesystem::path& file : run.files) {
        line +=
            "\tfile=" + Field(file.string()) + " sha256=" + FileSha256(file).value_or("unreadable");
    }
    line += std::string("\tresult=") + (run.passed ? "PASS" : "FAIL") + "\t" + Field(run.outcome);
    return line + "\n";
}

std::filesystem::path ProductionLogPath() {
    return StateFolder() / "production.log";
}

bool AppendProductionLog(const ProductionRun& run, std::string& error) {
    std::error_code folderError;
    std::filesystem::create_directories(StateFolder(), folderError);
    const std::string line = ProductionLogLine(run);
    // One write on an append descriptor: a line is never split by another writer.
    const int fd =
        ::open(ProductionLogPath().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = ProductionLogPath().string() + ": " + std::strerror(errno);
        return false;
    }
    const ssize_t written = ::write(fd, line.data(), line.size());
    const int writeErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (written != static_cast<ssize_t>(line.size()) || !closed) {
        error = ProductionLogPath().string() + ": " +
                (written < 0 ? std::strerror(writeErrno) : "the line was not written whole");
        return false;
    }
    return true;
}

} // namespace zelk
