// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/production_log.h"

#include "platform/settings_store.h"
#include "station/file_digest.h"
#include "station/state_folder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelk {
namespace {

constexpr const char* Section = "Production";

std::uint32_t StoredNumber(std::optional<std::string> text) {
    const int value = TryParseProfileInt(text.value_or("0")).value_or(0);
    return value > 0 ? static_cast<std::uint32_t>(value) : 0;
}

std::string Field(std::string text) {
    std::ranges::replace_if(
        text, [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return text;
}

} // namespace

ProductionCount ProductionCount::Load(const SettingsStore& store) {
    ProductionCount count;
    count.totalPassed = StoredNumber(store.ReadString(Section, "Passed", "0"));
    count.totalFailed = StoredNumber(store.ReadString(Section, "Failed", "0"));
    return count;
}

void ProductionCount::Counted(const SettingsStore& store, bool passed) {
    ++(passed ? sessionPassed : sessionFailed);
    const ProductionCount stored = Load(store);
    totalPassed = stored.totalPassed;
    totalFailed = stored.totalFailed;
}

bool ProductionCount::Reset(SettingsStore& store) {
    *this = {};
    return store.Update([](ProfileFile& values) {
        return values.Set(Section, "Passed", "0") && values.Set(Section, "Failed", "0");
    });
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
    const std::filesystem::path path = ProductionLogPath();
    // One write on an append descriptor: a line is never split by another writer. A link or a
    // FIFO put in the log's place is refused, not followed or waited on.
    struct stat before {};
    if (::lstat(path.c_str(), &before) == 0 && !S_ISREG(before.st_mode)) {
        error = path.string() + ": not a regular file";
        return false;
    }
    const int fd = ::open(
        path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd < 0) {
        error = path.string() + ": " +
                (errno == ELOOP ? "a symbolic link, not the log" : std::strerror(errno));
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        error = path.string() + ": not a regular file";
        return false;
    }
    const ssize_t written = ::write(fd, line.data(), line.size());
    const int writeErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (written != static_cast<ssize_t>(line.size()) || !closed) {
        error = path.string() + ": " +
                (written < 0 ? std::strerror(writeErrno) : "the line was not written whole");
        return false;
    }
    return true;
}

bool RecordProductionRun(SettingsStore& store, const ProductionRun& run, std::string& error) {
    const bool counted = store.Update([&](ProfileFile& values) {
        const char* name = run.passed ? "Passed" : "Failed";
        return values.Set(Section, name,
                          std::to_string(StoredNumber(values.Get(Section, name)) + 1));
    });
    if (!counted) {
        error = "The production count could not be stored: " + store.WriteProblem();
    }
    std::string logError;
    if (!AppendProductionLog(run, logError)) {
        error +=
            (error.empty() ? "" : "\n") + ("The production log could not be written: " + logError);
        return false;
    }
    return counted;
}

} // namespace zelk
