// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user settings store: an INI-format file, by default
// $XDG_CONFIG_HOME/Brasswick/zelk.conf (~/.config when that is not set). Absent values give the
// caller's default; reading never writes; a corrupt or unreadable file reads as defaults. Every
// write is a read-modify-write of the file under an exclusive lock of a lock file beside it
// (".zelk.conf.lock"), so the GUI and zelk-cli running together lose nothing, and the file is
// replaced atomically.
#pragma once

#include "platform/private_profile.h"

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zelk {

class SettingsStore {
public:
    // The store in `file`; an empty path is no store: it reads defaults and refuses writes.
    explicit SettingsStore(std::filesystem::path file);
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // The user's store file from the environment; empty when neither XDG_CONFIG_HOME nor a
    // home folder is known.
    static std::filesystem::path UserFile();

    const std::filesystem::path& Path() const { return file; }
    // The lock file beside the store.
    std::filesystem::path LockPath() const;

    int ReadInt(std::string_view section, std::string_view name, int defaultValue) const;
    std::string ReadString(std::string_view section, std::string_view name,
                           std::string_view defaultValue) const;

    // False when the store could not be written (the old file stays as it was); the reason is
    // kept for WriteProblem and TakeWriteProblem.
    bool WriteInt(std::string_view section, std::string_view name, int value);
    bool WriteString(std::string_view section, std::string_view name, std::string_view value);
    bool ClearSection(std::string_view section);
    // Clears a section and writes the given values into it, in order, in one update.
    bool ReplaceSection(std::string_view section,
                        const std::vector<std::pair<std::string, std::string>>& values);
    // Applies `change` to the store as it stands on the disk, under the lock, and writes it
    // back. `change` answers false for a name that cannot be stored; nothing is written then.
    bool Update(const std::function<bool(ProfileFile&)>& change);

    // Why the last write failed, a sentence naming the file; empty after one that succeeded.
    std::string WriteProblem() const;
    // The reason of a run of failing writes, once: a store the user made read-only fails every
    // write with one reason, which is to be shown once, not per value. Nullopt when there is
    // nothing new to report.
    std::optional<std::string> TakeWriteProblem();

    // The store held under its lock for a read-modify-write that spans more than one step: the
    // serial number is read, written into a chip and the next one stored while no other run can
    // take the same number. The lock is released by Commit or when the object goes.
    class Transaction {
    public:
        Transaction(Transaction&& other) noexcept;
        Transaction& operator=(Transaction&&) = delete;
        ~Transaction();

        std::optional<std::string> Get(std::string_view section, std::string_view name) const {
            return values.Get(section, name);
        }
        bool Set(std::string_view section, std::string_view name, std::string_view value) {
            return values.Set(section, name, value);
        }
        // Writes the values and releases the lock. False, with the reason, when the store could
        // not be written; it is then as it was.
        bool Commit(std::string& error);

    private:
        friend class SettingsStore;
        Transaction(const SettingsStore& owner, int lock, ProfileFile file);

        const SettingsStore* store;
        int lockFd;
        ProfileFile values;
    };
    // Takes the lock (waiting while another run holds it, at most LockWaitSeconds) and reads the
    // store. Nullopt, with the reason, when it cannot.
    std::optional<Transaction> Begin(std::string& error) const;

    static constexpr int LockWaitSeconds = 10;

private:
    // Takes the lock; -1, with the reason, when it cannot.
    int Lock(std::string& error) const;
    bool Remember(std::string reason);
    std::optional<ProfileFile> LoadForUpdate(std::string& error) const;
    bool Replace(const ProfileFile& values, std::string& error) const;

    std::filesystem::path file;
    mutable std::mutex mutex; // the last problem; the store is used from a worker thread too
    std::string problem;
    bool reported = false;
};

} // namespace zelk
