// SPDX-License-Identifier: GPL-3.0-or-later
// What zelk-cli tells the user on stderr besides progress: failures and notes. As text, one
// line each; with --progress json, one JSON object a line, so that every line on stderr is
// one object. The last failure is kept for the summary that ends a command.
#pragma once

#include <string>

namespace zelk {

enum class MessageLevel { Error, Note };

// Chosen once, from the options, before the command runs.
void UseJsonMessages(bool json);
bool JsonMessages();

// "zelk-cli: MESSAGE", or {"message": "MESSAGE", "level": "error"}.
void PrintError(const std::string& message);
// "zelk-cli: MESSAGE", or {"message": "MESSAGE", "level": "note"}.
void PrintNote(const std::string& message);
// A message a command's steps composed ("Verify failed at 00000100 !"): as it stands, or as
// an object.
void PrintMessage(MessageLevel level, const std::string& text);

// The last error printed; empty when none was.
std::string LastError();

// `text` as a JSON string, quotes included.
std::string JsonString(const std::string& text);

} // namespace zelk
