// SPDX-License-Identifier: GPL-3.0-or-later
// HEX and S-record texts that must load as exactly what they say or not at all, shared by the
// reader's tests and the command-line tests. Each is read into a 0x20000-byte image.
#pragma once

#include <string>
#include <vector>

namespace zelk::testing {

// A known-good record, its checksum worked out by hand: 02 33 7A at 0x30.
inline const std::string T30 = ":0300300002337A1E\n";
inline const std::string Eof = ":00000001FF\n";

struct HexInput {
    const char* name;
    std::string text;
    int line;           // the line named in the refusal; 0: the file as a whole
    const char* reason; // part of the reason
};

inline std::vector<HexInput> RefusedHexInputs() {
    const std::string s1 = "S1060030010203C3\n";
    return {
        {"empty file", "", 0, "holds no data"},
        {"only an end record", Eof, 0, "holds no data"},
        {"text that is no record", "Sorry, download failed\n", 1, "not an Intel HEX or S-record"},
        {"short junk between records", T30 + "abc\n" + Eof, 2, "not an Intel HEX or S-record"},
        {"colon alone", T30 + ":\n" + Eof, 2, "too short"},
        {"six characters", T30 + ":10000\n" + Eof, 2, "odd number of hex digits"},
        {"odd digits", ":0100000100F\n" + T30 + Eof, 1, "odd number of hex digits"},
        {"count beyond the line", T30 + ":FF00000100\n" + Eof, 2, "byte count FF"},
        {"more bytes than the count", ":0200300002337A1E\n" + Eof, 1, "byte count 02"},
        {"non-hex digit", "\n\n:03003000023G7A1E\n" + Eof, 3, "'G' is not a hex digit"},
        {"data checksum", T30 + ":0300400002337A1F\n" + Eof, 2, "checksum"},
        {"checksum after CR LF lines", ":0100100011DE\r\n\r\n:0300400002337A1F\r\n" + Eof, 3,
         "checksum"},
        {"end record checksum", T30 + ":00000001FE\n", 2, "checksum"},
        {"S0 checksum", "S0060000686472BC\n" + s1, 1, "checksum"},
        {"S9 checksum", s1 + "S9030000FD\n", 2, "checksum"},
        {"Intel type 06", T30 + ":00000006FA\n" + Eof, 2, "unknown record type 06"},
        {"S4", s1 + "S4030000FC\n", 2, "unknown record type S4"},
        {"end record holding data", T30 + ":0100000100FE\n", 2, "end record holds data"},
        {"S9 holding data", s1 + "S904000001FA\n", 2, "end record holds data"},
        {"address record off 0000", ":020001040001F8\n" + T30 + Eof, 1, "2 bytes at address 0000"},
        {"address record of one byte", ":0100000401FA\n" + T30 + Eof, 1, "2 bytes at address 0000"},
        {"two start records", ":0400000500000100F6\n:0400000300000000F9\n" + T30 + Eof, 2,
         "second start address"},
        {"an address given twice", T30 + ":010032005578\n" + Eof, 2,
         "address 00000032 is given twice, lines 1 and 2"},
        {"data after the end record", T30 + Eof + "\n" + T30, 4, "after the end record"},
        {"no end record", T30, 0, "ends without an end record: truncated?"},
        {"cut inside a record", T30 + ":1000000001020304", 2, "byte count 10"},
        {"CR-only file cut short", ":0300300002337A1E\r:0300", 2, "byte count 03"},
        {"past the image end", ":020000040001F9\n:03FFFE00010203FA\n" + Eof, 2, "beyond the image"},
        {"S3 address near 4 GiB", "S309FFFFFFFE01020304F1\n", 1, "beyond the image"},
        {"line without end", T30 + std::string(5000, '0'), 2, "longer than"},
    };
}

} // namespace zelk::testing
