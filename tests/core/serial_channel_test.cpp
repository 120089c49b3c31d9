// SPDX-License-Identifier: GPL-3.0-or-later
#include "pty_pair.h"
#include "scratch_folder.h"
#include "terminal/serial_channel.h"
#include "terminal/serial_ports.h"
#include "terminal/simulated_serial_board.h"

#include <chrono>
#include <gtest/gtest.h>

namespace zelk {
namespace {

using testing::Inbox;
using testing::PtyPair;

SerialEvents EventsInto(Inbox& inbox) {
    return {.received = [&inbox](std::vector<std::uint8_t> bytes) { inbox.Add(bytes); },
            .lost = [&inbox](const std::string& why) { inbox.Lose(why); }};
}

TEST(SerialChannel, MakesTheLineSettingsTheTerminalAsksFor) {
    struct Case {
        SerialLineSettings settings;
        speed_t speed;
        tcflag_t size;
        tcflag_t parityFlags; // of PARENB, PARODD, CMSPAR
        bool twoStopBits;
    };
    const Case cases[] = {
        {{9600, ParityNone, 8, StopBitsOne}, B9600, CS8, 0, false},
        {{300, ParityOdd, 7, StopBitsTwo}, B300, CS7, PARENB | PARODD, true},
        {{115200, ParityEven, 6, StopBitsOne}, B115200, CS6, PARENB, false},
        {{921600, ParityMark, 8, StopBitsOne}, B921600, CS8, PARENB | PARODD | CMSPAR, false},
        {{1000000, ParitySpace, 5, StopBitsOneAndHalf}, B1000000, CS5, PARENB | CMSPAR, true},
    };
    // What another program may have left on the port.
    termios inherited{};
    inherited.c_iflag = ICRNL | IXON | IXOFF | IXANY | ISTRIP | PARMRK;
    inherited.c_oflag = OPOST | ONLCR;
    inherited.c_cflag = CRTSCTS | PARENB | CS7 | HUPCL;
    inherited.c_lflag = ECHO | ICANON | ISIG | IEXTEN;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings.speed);
        termios made{};
        ASSERT_TRUE(MakeRawSettings(inherited, c.settings, made));
        EXPECT_EQ(cfgetospeed(&made), c.speed);
        EXPECT_EQ(cfgetispeed(&made), c.speed);
        EXPECT_EQ(made.c_cflag & CSIZE, c.size);
        EXPECT_EQ(made.c_cflag & (PARENB | PARODD | CMSPAR), c.parityFlags);
        EXPECT_EQ((made.c_iflag & INPCK) != 0, c.settings.parity != ParityNone);
        EXPECT_EQ((made.c_cflag & CSTOPB) != 0, c.twoStopBits);
        EXPECT_EQ(made.c_cflag & (CREAD | CLOCAL), CREAD | CLOCAL);
        EXPECT_EQ(made.c_cflag & CRTSCTS, 0U);
        EXPECT_EQ(made.c_iflag & (IXON | IXOFF | IXANY | ICRNL | ISTRIP | PARMRK), 0U);
        EXPECT_EQ(made.c_oflag & OPOST, 0U);
        EXPECT_EQ(made.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0U);
    }
}

TEST(SerialChannel, RefusesWhatThePortCannotDoAndStaysClosed) {
    PtyPair pty;
    struct Case {
        const char* what;
        std::string port;
        SerialLineSettings settings;
    };
    const Case cases[] = {
        {"no port selected", "", {}},
        {"unknown port", "LPT1", {}},
        {"missing device", "/dev/zelk-no-such-port", {}},
        {"not a serial port", "/dev/null", {}},
        {"unknown speed", pty.path, {12345, ParityNone, 8, StopBitsOne}},
        {"no speed selected", pty.path, {0, ParityNone, 8, StopBitsOne}},
        {"no parity selected", pty.path, {9600, -1, 8, StopBitsOne}},
        {"no data bits selected", pty.path, {9600, ParityNone, 4, StopBitsOne}},
        {"no stop bits selected", pty.path, {9600, ParityNone, 8, -1}},
        {"1.5 stop bits after 8 data bits", pty.path, {9600, ParityNone, 8, StopBitsOneAndHalf}},
    };
    const termios before = pty.PortSettings();
    for (const Case& c : cases) {
        Inbox inbox;
        CSerialChannel channel(EventsInto(inbox));
        EXPECT_FALSE(channel.Open(c.port, c.settings)) << c.what;
        EXPECT_FALSE(channel.IsOpen()) << c.what;
        EXPECT_FALSE(channel.Error().empty()) << c.what;
        const std::uint8_t byte = 'x';
        EXPECT_FALSE(channel.Write({&byte, 1})) << c.what;
    }
    const termios after = pty.PortSettings();
    EXPECT_EQ(after.c_lflag, before.c_lflag) << "a refused open leaves the port as it was";
    EXPECT_EQ(after.c_cflag, before.c_cflag);
}

TEST(SerialChannel, PassesEveryByteUnchangedWhateverThePortWasLeftWith) {
    PtyPair pty;
    // What a login shell leaves: echo, line editing, CR to NL, XON/XOFF, signals, NL to CRLF.
    termios cooked = pty.PortSettings();
    cooked.c_lflag |= ECHO | ICANON | ISIG | IEXTEN;
    cooked.c_iflag |= ICRNL | IXON | IXOFF | ISTRIP;
    cooked.c_oflag |= OPOST | ONLCR;
    ASSERT_EQ(tcsetattr(pty.port, TCSANOW, &cooked), 0);

    Inbox inbox;
    CSerialChannel channel(EventsInto(inbox));
    ASSERT_TRUE(channel.Open(pty.path, {}));
    // Zero bytes inside a burst, the flow-control and signal characters, CR, LF, 8-bit bytes.
    std::vector<std::uint8_t> burst = {'O',  'K',  0x00, 'a',  0x11, 0x13, 0x03, 0x1A,
                                       '\r', '\n', 0x7F, 0x00, 0x80, 0xFF, 0x00};
    for (int i = 0; i < 3000; ++i) {
        burst.push_back(static_cast<std::uint8_t>(i * 7));
    }
    pty.Send(burst);
    EXPECT_EQ(inbox.WaitFor(burst.size()), burst);

    const std::vector<std::uint8_t> typed = {'\n', '\r', 0x00, 0x11, 0x13, 0x03, 0xE9};
    ASSERT_TRUE(channel.Write(typed));
    EXPECT_EQ(pty.Receive(typed.size() + 1, 300), typed) << "nothing added, nothing taken away";

    channel.Close();
    const termios restored = pty.PortSettings();
    EXPECT_EQ(restored.c_lflag, cooked.c_lflag) << "the port's own settings come back";
    EXPECT_EQ(restored.c_iflag, cooked.c_iflag);
    EXPECT_EQ(restored.c_oflag, cooked.c_oflag);
}

// A pseudo-terminal keeps speed, stop bits and the parity checks; it always reports 8 data
// bits without parity, which the table above covers. Close wakes a waiting reader, and the
// channel opens again with other settings.
TEST(SerialChannel, OpensWithTheSettingsAskedAndCloseEndsAWaitingReader) {
    PtyPair pty;
    Inbox inbox;
    CSerialChannel channel(EventsInto(inbox));
    const SerialLineSettings rounds[] = {
        {9600, ParityNone, 8, StopBitsOne},
        {300, ParityOdd, 7, StopBitsTwo},
        {1000000, ParityEven, 8, StopBitsOne},
    };
    for (std::size_t round = 0; round < std::size(rounds); ++round) {
        SCOPED_TRACE(rounds[round].speed);
        termios expected{};
        ASSERT_TRUE(MakeRawSettings(pty.PortSettings(), rounds[round], expected));
        ASSERT_TRUE(channel.Open(pty.path, rounds[round])) << channel.Error();
        const termios applied = pty.PortSettings();
        EXPECT_EQ(cfgetospeed(&applied), cfgetospeed(&expected));
        EXPECT_EQ(applied.c_cflag & CSTOPB, expected.c_cflag & CSTOPB);
        EXPECT_EQ(applied.c_iflag, expected.c_iflag);
        EXPECT_EQ(applied.c_lflag, expected.c_lflag);

        pty.Send({static_cast<std::uint8_t>('0' + round)});
        ASSERT_EQ(inbox.WaitFor(round + 1).size(), round + 1);
        // The reader now waits for more; Close must wake it, not hang.
        const auto start = std::chrono::steady_clock::now();
        channel.Close();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        EXPECT_FALSE(channel.IsOpen());
        channel.Close();
    }
    pty.Send({'z'});
    EXPECT_EQ(inbox.WaitFor(4, 200), (std::vector<std::uint8_t>{'0', '1', '2'}))
        << "nothing is delivered after Close";
}

TEST(SerialChannel, ReportsADeviceThatWentAwayAndFailsWritesAfterIt) {
    PtyPair pty;
    Inbox inbox;
    CSerialChannel channel(EventsInto(inbox));
    ASSERT_TRUE(channel.Open(pty.path, {}));
    pty.CloseFar();
    EXPECT_FALSE(inbox.WaitForLoss().empty());
    const std::uint8_t byte = 'x';
    EXPECT_FALSE(channel.Write({&byte, 1}));
    channel.Close();
    EXPECT_FALSE(channel.IsOpen());
}

TEST(SimulatedSerialBoard, AnswersInUpperCaseWithCrLfForEnter) {
    SimulatedSerialBoard board;
    std::string error;
    ASSERT_TRUE(board.Start(error)) << error;
    Inbox inbox;
    CSerialChannel channel(EventsInto(inbox));
    ASSERT_TRUE(channel.Open(board.PortPath(), {})) << channel.Error();
    const std::vector<std::uint8_t> typed = {'h', 'i', '!', '\r', 0x00, 0xE9};
    ASSERT_TRUE(channel.Write(typed));
    EXPECT_EQ(inbox.WaitFor(7), (std::vector<std::uint8_t>{'H', 'I', '!', '\r', '\n', 0x00, 0xE9}));
    channel.Close();
    ASSERT_TRUE(channel.Open(board.PortPath(), {})) << "the board's port opens again";
}

// A stored name is found again, its case ignored; a path stands for itself.
TEST(SerialPorts, ListsComPortsThenUsbAdaptersUnderStableNamesThenAddedPorts) {
    testing::ScratchFolder dev;
    for (const char* device : {"ttyS0", "ttyUSB0", "ttyUSB1", "ttyACM0", "tty0", "ttyUSBx.lock"}) {
        std::ofstream(dev / device).put('\n');
    }
    std::filesystem::remove(dev / "ttyUSBx.lock");
    std::filesystem::create_directories(dev / "serial" / "by-id");
    std::filesystem::create_symlink("../../ttyUSB1",
                                    dev / "serial" / "by-id" / "usb-FTDI_A50-port0");
    SerialPortList list(dev.Path());
    list.Add({"Simulated board", "/dev/pts/99"});

    const std::vector<SerialPortEntry> ports = list.Entries();
    list.Remove("Simulated board");

    ASSERT_EQ(ports.size(), 16U + 3U + 1U);
    EXPECT_EQ(ports[0].name, "COM1");
    EXPECT_EQ(ports[0].path, (dev / "ttyS0").string());
    EXPECT_EQ(ports[15].name, "COM16");
    EXPECT_EQ(ports[15].path, (dev / "ttyS15").string());
    const std::vector<std::string> usb = {ports[16].name, ports[17].name, ports[18].name};
    EXPECT_EQ(usb,
              (std::vector<std::string>{(dev / "serial/by-id/usb-FTDI_A50-port0").string(),
                                        (dev / "ttyACM0").string(), (dev / "ttyUSB0").string()}))
        << "ttyUSB1 appears once, under its by-id name";
    EXPECT_EQ(ports[19].name, "Simulated board");
    EXPECT_EQ(list.Entries().size(), 19U) << "a removed port is gone";

    const std::string ttyS = (dev / "ttyS").string();
    const std::pair<std::string, std::string> names[] = {{"COM2", ttyS + "1"},
                                                         {"com2", ttyS + "1"},
                                                         {"COM16", ttyS + "15"},
                                                         {"COM17", ""},
                                                         {"COM0", ""},
                                                         {"", ""},
                                                         {"ttyS1", ""},
                                                         {"/dev/pts/3", "/dev/pts/3"},
                                                         {"simulated BOARD", "/dev/pts/99"}};
    for (const auto& [name, path] : names) {
        EXPECT_EQ(SerialDevicePath(name, ports), path) << name;
    }
}

} // namespace
} // namespace zelk
