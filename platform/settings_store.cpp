// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/settings_store.h"

#include "platform/atomic_file.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace zelk {
namespace {

std::filesystem::path HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return home;
    }
    const passwd* user = ::getpwuid(::getuid());
    if (user != nullptr && user->pw_dir != nullptr) {
        return user->pw_dir;
    }
    return {};
}

constexpr auto LockRetry = std::chrono::milliseconds(10);

} // namespace

SettingsStore::SettingsStore(std::filesystem::path storeFile) : file(std::move(storeFile)) {}

std::filesystem::path SettingsStore::UserFile() {
    std::filesystem::path base;
    // A relative XDG_CONFIG_HOME is invalid by the XDG rules and is ignored.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && std::filesystem::path(config).is_absolute()) {
        base = config;
    } else {
        const std::filesystem::path home = HomeFolder();
        if (home.empty()) {
            return {};
        }
        base = home / ".config";
    }
    return base / "Brasswick" / "zelk.conf";
}

std::filesystem::path SettingsStore::LockPath() const {
    return file.parent_path() / ("." + file.filename().string() + ".lock");
}

int SettingsStore::ReadInt(std::string_view section, std::string_view name,
                           int defaultValue) const {
    const std::string text = ReadString(section, name, "");
    if (text.empty()) {
        return defaultValue;
    }
    return TryParseProfileInt(text).value_or(defaultValue);
}

std::string SettingsStore::ReadString(std::string_view section, std::string_view name,
                                      std::string_view defaultValue) const {
    std::string error;
    const std::optional<ProfileFile> store =
        file.empty() ? std::nullopt : ProfileFile::Load(file, error);
    // An unreadable store reads as defaults.
    std::optional<std::string> value = store ? store->Get(section, name) : std::nullopt;
    return value.value_or(std::string(defaultValue));
}

bool SettingsStore::WriteInt(std::string_view section, std::string_view name, int value) {
    return WriteString(section, name, std::to_string(value));
}

bool SettingsStore::WriteString(std::string_view section, std::string_view name,
                                std::string_view value) {
    return Update([&](ProfileFile& store) { return store.Set(section, name, value); });
}

bool SettingsStore::ClearSection(std::string_view section) {
    return Update([&](ProfileFile& store) {
        store.RemoveSection(section);
        return true;
    });
}

bool SettingsStore::ReplaceSection(std::string_view section,
                                   const std::vector<std::pair<std::string, std::string>>& values) {
    return Update([&](ProfileFile& store) {
        store.RemoveSection(section);
        for (const auto& [name, value] : values) {
            if (!store.Set(section, name, value)) {
                return false;
            }
        }
        return true;
    });
}

bool SettingsStore::Update(const std::function<bool(ProfileFile&)>& change) {
    std::string error;
    std::optional<Transaction> transaction = Begin(error);
    if (!transaction) {
        return Remember(error);
    }
    if (!change(transaction->values)) {
        return Remember("A setting's name cannot be stored in " + file.string() + ".");
    }
    return Remember(transaction->Commit(error) ? std::string() : error);
}

int SettingsStore::Lock(std::string& error) const {
    if (file.empty()) {
        error = "No settings file: neither XDG_CONFIG_HOME nor a home folder is set.";
        return -1;
    }
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    if (ec) {
        error = "Cannot make the folder " + file.parent_path().string() + ": " + ec.message();
        return -1;
    }
    const std::filesystem::path lockFile = LockPath();
    // Never follows a link, never blocks on a FIFO put there.
    const int fd =
        ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "Cannot lock the settings with " + lockFile.string() + ": " +
                (fd < 0 ? std::strerror(errno) : "not a regular file");
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(LockWaitSeconds);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) ||
            std::chrono::steady_clock::now() >= deadline) {
            error = errno == EWOULDBLOCK || errno == EINTR
                        ? "The settings file " + file.string() +
                              " stayed locked by another run "
                              "for " +
                              std::to_string(LockWaitSeconds) + " s."
                        : "Cannot lock the settings with " + lockFile.string() + ": " +
                              std::strerror(errno);
            ::close(fd);
            return -1;
        }
        std::this_thread::sleep_for(LockRetry);
    }
    return fd;
}

std::optional<SettingsStore::Transaction> SettingsStore::Begin(std::string& error) const {
    const int fd = Lock(error);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string reason;
    std::optional<ProfileFile> values = ProfileFile::Load(file, reason);
    if (!values) {
        // An unreadable store is left alone rather than replaced by one holding only the new
        // values.
        error = "The settings file cannot be read: " + reason;
        ::close(fd);
        return std::nullopt;
    }
    return Transaction(*this, fd, std::move(*values));
}

bool SettingsStore::Replace(const ProfileFile& values, std::string& error) const {
    std::string reason;
    if (!ReplaceFileAtomically(file, values.Serialize(), reason)) {
        error = "The settings cannot be saved: " + reason;
        return false;
    }
    return true;
}

bool SettingsStore::Remember(std::string reason) {
    const std::lock_guard lock(mutex);
    if (reason.empty()) {
        reported = false;
    }
    problem = std::move(reason);
    return problem.empty();
}

std::string SettingsStore::WriteProblem() const {
    const std::lock_guard lock(mutex);
    return problem;
}

std::optional<std::string> SettingsStore::TakeWriteProblem() {
    const std::lock_guard lock(mutex);
    if (problem.empty() || reported) {
        return std::nullopt;
    }
    reported = true;
    return problem;
}

SettingsStore::Transaction::Transaction(const SettingsStore& owner, int lock, ProfileFile file)
    : store(&owner), lockFd(lock), values(std::move(file)) {}

SettingsStore::Transaction::Transaction(Transaction&& other) noexcept
    : store(other.store), lockFd(other.lockFd), values(std::move(other.values)) {
    other.lockFd = -1;
}

SettingsStore::Transaction::~Transaction() {
    if (lockFd >= 0) {
        ::close(lockFd);
    }
}

bool SettingsStore::Transaction::Commit(std::string& error) {
    if (lockFd < 0) {
        error = "The settings were stored already.";
        return false;
    }
    const bool stored = store->Replace(values, error);
    ::close(lockFd);
    lockFd = -1;
    return stored;
}

} // namespace zelk
