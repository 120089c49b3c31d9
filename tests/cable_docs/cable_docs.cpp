// SPDX-License-Identifier: GPL-3.0-or-later
// The wiring guide's tables and drawings, made from the cable table that the engine drives, so
// that the guide cannot say one wiring while zelk drives another.
//   cable_docs check DOCS   exit 1 naming each table or drawing that differs from the table
//   cable_docs write DOCS   write them: docs/cables.md's marked blocks and docs/cables/*.svg
#include "engine/cables.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zelk {
namespace {

// A line of the DB-25 connector: its pin and the name its register bit has.
struct PortPin {
    int pin;
    std::string name;
};

PortPin DataPin(std::uint8_t bit) {
    for (int n = 0; n < 8; ++n) {
        if (bit == (1 << n)) {
            return {n + 2, "D" + std::to_string(n)};
        }
    }
    return {0, "?"};
}

PortPin StatusPin(std::uint8_t bit) {
    switch (bit) {
    case 0x08:
        return {15, "ERROR"};
    case 0x10:
        return {13, "SELECT"};
    case 0x20:
        return {12, "PAPER-OUT"};
    case 0x40:
        return {10, "ACK"};
    case 0x80:
        return {11, "BUSY"};
    default:
        return {0, "?"};
    }
}

// The control register's driver bit: AUTOFEED, which the port inverts (bit set: pin low).
PortPin ControlPin(std::uint8_t bit) {
    switch (bit) {
    case 0x01:
        return {1, "STROBE"};
    case 0x02:
        return {14, "AUTOFEED"};
    case 0x04:
        return {16, "INIT"};
    case 0x08:
        return {17, "SELECT-IN"};
    default:
        return {0, "?"};
    }
}

std::string Named(const PortPin& pin) {
    return std::to_string(pin.pin) + " (" + pin.name + ")";
}

std::vector<PortPin> DataPins(std::uint8_t bits) {
    std::vector<PortPin> pins;
    for (int n = 0; n < 8; ++n) {
        if ((bits & (1 << n)) != 0) {
            pins.push_back(DataPin(static_cast<std::uint8_t>(1 << n)));
        }
    }
    return pins;
}

// "4 (D2) and 5 (D3)": the data pins that enable the line drivers while low.
std::string DriverPins(const CableInfo& cable) {
    std::string pins;
    for (const PortPin& pin : DataPins(cable.driverBits)) {
        pins += (pins.empty() ? "" : " and ") + Named(pin);
    }
    return pins;
}

struct Wire {
    std::string signal;
    std::string portPin;
    std::string isp10;
    std::string isp6;
};

std::vector<Wire> Wires(const CableInfo& cable) {
    const PortPin miso = StatusPin(cable.pins.miso);
    // BUSY is the one status line the port inverts; any other inversion is the cable's own.
    const bool portInverts = cable.pins.miso == 0x80;
    const bool readInverted = cable.miso == MisoPolarity::Inverted;
    std::string misoNote;
    if (readInverted && !portInverts) {
        misoNote = ", through an inverter in the cable";
    } else if (!readInverted && portInverts) {
        misoNote = ", through an inverter in the cable (the port inverts it again)";
    }
    std::vector<Wire> wires = {
        {"SCK", Named(DataPin(cable.pins.sck)), "7", "3"},
        {"MOSI", Named(DataPin(cable.pins.mosi)), "1", "4"},
        {"MISO", Named(miso) + misoNote, "9", "1"},
        {"RESET", Named(DataPin(cable.pins.reset)), "5", "5"},
    };
    if (cable.pins.reset2 != 0) {
        wires.push_back(
            {"RESET, the same level again", Named(DataPin(cable.pins.reset2)), "5", "5"});
    }
    wires.push_back({"GND", "18 to 25", "4, 6, 8, 10", "6"});
    return wires;
}

std::string Recognition(const CableInfo& cable) {
    if (cable.loopBack.data != 0) {
        return "Recognised by a wire from pin " + Named(DataPin(cable.loopBack.data)) + " to pin " +
               Named(StatusPin(cable.loopBack.status)) +
               ": zelk changes the data line and sees the status line follow.";
    }
    if (cable.recognisedWithoutLoopBack) {
        return "No loop-back wire: taken when no other cable's loop-back answers.";
    }
    return "No loop-back wire and not recognised: choose it in Preferences or with `--cable " +
           std::string(cable.cliName) + "`.";
}

std::string Drivers(const CableInfo& cable) {
    switch (cable.drivers) {
    case DriverSwitch::ControlRegister:
        return "Line drivers enabled while pin " + Named(ControlPin(cable.controlOn)) +
               " is low (the port inverts the bit): on for a command, off after it.";
    case DriverSwitch::DataBitsLow: {
        return "Line drivers enabled while pins " + DriverPins(cable) +
               " are low: on for a command, off after it.";
    }
    case DriverSwitch::None:
        break;
    }
    return "No line drivers to switch: the lines are driven straight from the port.";
}

std::string Table(const CableInfo& cable) {
    std::ostringstream out;
    out << "| Signal | DB-25 pin | 10-pin ISP | 6-pin ISP |\n";
    out << "|--------|-----------|------------|-----------|\n";
    for (const Wire& wire : Wires(cable)) {
        out << "| " << wire.signal << " | " << wire.portPin << " | " << wire.isp10 << " | "
            << wire.isp6 << " |\n";
    }
    out << "\n" << Recognition(cable) << " " << Drivers(cable) << "\n\n";
    out << "![" << cable.name << " wiring](cables/" << cable.cliName << ".svg)\n";
    return out.str();
}

std::string Escaped(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        escaped += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
    }
    return escaped;
}

// The DB-25 plug on the left, the 10-pin ISP header on the right, a wire for each signal.
std::string Drawing(const CableInfo& cable) {
    const std::vector<Wire> wires = Wires(cable);
    const int rowHeight = 34;
    const int top = 86;
    const int extra = cable.loopBack.data != 0 || cable.drivers != DriverSwitch::None ? 2 : 1;
    const int height = top + static_cast<int>(wires.size()) * rowHeight + extra * 22 + 20;
    std::ostringstream svg;
    svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"640\" height=\"" << height
        << "\" viewBox=\"0 0 640 " << height << "\" font-family=\"DejaVu Sans, sans-serif\" "
        << "font-size=\"13\">\n";
    svg << "  <rect width=\"640\" height=\"" << height << "\" fill=\"#ffffff\"/>\n";
    svg << "  <text x=\"20\" y=\"28\" font-size=\"16\" font-weight=\"bold\">"
        << Escaped(std::string(cable.name)) << " (--cable " << cable.cliName << ")</text>\n";
    const int boxHeight = static_cast<int>(wires.size()) * rowHeight + 10;
    svg << "  <rect x=\"20\" y=\"" << top - 20 << "\" width=\"190\" height=\"" << boxHeight
        << "\" rx=\"6\" fill=\"#eceff1\" stroke=\"#37474f\"/>\n";
    svg << "  <text x=\"115\" y=\"" << top - 28 << "\" text-anchor=\"middle\">DB-25 (PC)</text>\n";
    svg << "  <rect x=\"430\" y=\"" << top - 20 << "\" width=\"190\" height=\"" << boxHeight
        << "\" rx=\"6\" fill=\"#e8f5e9\" stroke=\"#1b5e20\"/>\n";
    svg << "  <text x=\"525\" y=\"" << top - 28
        << "\" text-anchor=\"middle\">ISP pin: 10-pin / 6-pin</text>\n";
    int y = top;
    for (const Wire& wire : wires) {
        const std::string port = wire.portPin.substr(0, wire.portPin.find(','));
        svg << "  <text x=\"30\" y=\"" << y + 4 << "\">" << Escaped(port) << "</text>\n";
        svg << "  <line x1=\"210\" y1=\"" << y << "\" x2=\"430\" y2=\"" << y
            << "\" stroke=\"#1565c0\" stroke-width=\"2\"/>\n";
        svg << "  <text x=\"320\" y=\"" << y - 6 << "\" text-anchor=\"middle\">"
            << Escaped(wire.signal.substr(0, wire.signal.find(','))) << "</text>\n";
        svg << "  <text x=\"440\" y=\"" << y + 4 << "\">" << Escaped(wire.isp10) << " / "
            << wire.isp6 << "</text>\n";
        y += rowHeight;
    }
    y += 8;
    if (cable.loopBack.data != 0) {
        svg << "  <text x=\"20\" y=\"" << y << "\">Loop-back: pin "
            << Escaped(Named(DataPin(cable.loopBack.data))) << " to pin "
            << Escaped(Named(StatusPin(cable.loopBack.status))) << "</text>\n";
        y += 22;
    }
    if (cable.drivers == DriverSwitch::ControlRegister) {
        svg << "  <text x=\"20\" y=\"" << y << "\">Drivers on: pin "
            << Escaped(Named(ControlPin(cable.controlOn))) << " low</text>\n";
        y += 22;
    } else if (cable.drivers == DriverSwitch::DataBitsLow) {
        svg << "  <text x=\"20\" y=\"" << y << "\">Drivers on: pins " << Escaped(DriverPins(cable))
            << " low</text>\n";
        y += 22;
    }
    svg << "  <text x=\"20\" y=\"" << y
        << "\">VCC (ISP 2) comes from the target; the port does not supply it.</text>\n";
    svg << "</svg>\n";
    return svg.str();
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WriteAll(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

std::string BlockStart(const CableInfo& cable) {
    return "<!-- wiring of " + std::string(cable.cliName) +
           ": made from the cable table by tests/cable_docs, do not edit -->\n";
}

std::string BlockEnd(const CableInfo& cable) {
    return "<!-- end of the wiring of " + std::string(cable.cliName) + " -->";
}

int Run(bool write, const std::filesystem::path& docs) {
    const std::filesystem::path guidePath = docs / "cables.md";
    std::string guide = ReadAll(guidePath);
    int differences = 0;
    for (const CableInfo& cable : Cables()) {
        if (cable.cliName.empty() || cable.medium != CableMedium::ParallelPort) {
            continue;
        }
        const std::string start = BlockStart(cable);
        const std::size_t from = guide.find(start);
        const std::size_t to = guide.find(BlockEnd(cable));
        if (from == std::string::npos || to == std::string::npos || to < from) {
            std::fprintf(stderr, "%s: no block for %s (%s ... %s)\n", guidePath.c_str(),
                         std::string(cable.cliName).c_str(), start.c_str(),
                         BlockEnd(cable).c_str());
            ++differences;
            continue;
        }
        const std::size_t body = from + start.size();
        const std::string table = Table(cable);
        if (guide.compare(body, to - body, table) != 0) {
            if (write) {
                guide.replace(body, to - body, table);
            } else {
                std::fprintf(stderr, "%s: the wiring of %s differs from the cable table\n",
                             guidePath.c_str(), std::string(cable.cliName).c_str());
                ++differences;
            }
        }
        const std::filesystem::path drawing =
            docs / "cables" / (std::string(cable.cliName) + ".svg");
        const std::string svg = Drawing(cable);
        if (ReadAll(drawing) != svg) {
            if (write) {
                std::filesystem::create_directories(drawing.parent_path());
                if (!WriteAll(drawing, svg)) {
                    std::fprintf(stderr, "%s: cannot write\n", drawing.c_str());
                    return 1;
                }
            } else {
                std::fprintf(stderr, "%s differs from the cable table\n", drawing.c_str());
                ++differences;
            }
        }
    }
    if (write && !WriteAll(guidePath, guide)) {
        std::fprintf(stderr, "%s: cannot write\n", guidePath.c_str());
        return 1;
    }
    if (differences != 0) {
        std::fprintf(stderr, "run: cable_docs write %s\n", docs.c_str());
    }
    return differences == 0 ? 0 : 1;
}

} // namespace
} // namespace zelk

int main(int argc, char* argv[]) {
    const std::string mode = argc == 3 ? argv[1] : "";
    if (mode != "check" && mode != "write") {
        std::fputs("usage: cable_docs check|write DOCS-FOLDER\n", stderr);
        return 2;
    }
    return zelk::Run(mode == "write", argv[2]);
}
