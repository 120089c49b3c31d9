// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_messages.h"

#include <cstdio>
#include <mutex>

namespace zelk {
namespace {

struct Messages {
    std::mutex mutex; // the flash write worker reports from its own thread
    bool json = false;
    std::string lastError;
};

Messages& State() {
    static Messages messages;
    return messages;
}

void Print(MessageLevel level, const std::string& text, bool prefixed) {
    Messages& messages = State();
    const std::lock_guard lock(messages.mutex);
    if (level == MessageLevel::Error) {
        messages.lastError = text;
    }
    if (messages.json) {
        std::fprintf(stderr, "{\"message\":%s,\"level\":\"%s\"}\n", JsonString(text).c_str(),
                     level == MessageLevel::Error ? "error" : "note");
    } else {
        std::fprintf(stderr, "%s%s\n", prefixed ? "zelk-cli: " : "", text.c_str());
    }
    std::fflush(stderr);
}

} // namespace

void UseJsonMessages(bool json) {
    Messages& messages = State();
    const std::lock_guard lock(messages.mutex);
    messages.json = json;
}

bool JsonMessages() {
    Messages& messages = State();
    const std::lock_guard lock(messages.mutex);
    return messages.json;
}

void PrintError(const std::string& message) {
    Print(MessageLevel::Error, message, true);
}

void PrintNote(const std::string& message) {
    Print(MessageLevel::Note, message, true);
}

void PrintMessage(MessageLevel level, const std::string& text) {
    Print(level, text, false);
}

std::string LastError() {
    Messages& messages = State();
    const std::lock_guard lock(messages.mutex);
    return messages.lastError;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

} // namespace zelk
