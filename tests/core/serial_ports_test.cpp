#include "scratch_folder.h"
#include "terminal/serial_ports.h"

#include <gtest/gtest.h>

namespace zelk {
namespace {

TEST(SerialPorts, ListsComPortsThenUsbAdaptersUnderStableNamesThenAddedPorts) {
    testing::ScratchFolder dev;
    for (const char* device : {"ttyS0", "ttyUSB0", "ttyUSB1", "ttyACM0", "tty0", "ttyUSBx.lock"}) {
        std::ofstream(dev / device).put('\n');
    }
    std::filesystem::remove(dev / "ttyUSBx.lock");
    std::filesystem::create_directories(dev / "serial" / "by-id");
    std::filesystem::create_symlink("../../ttyUSB1",
                                    dev / "serial" / "by-id" / "usb-FTDI_A50-port0");
    AddSerialPort({"Simulated board", "/dev/pts/99"});

    const std::vector<SerialPortEntry> ports = ListSerialPorts(dev.Path());
    RemoveSerialPort("Simulated board");

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
    EXPECT_EQ(ListSerialPorts(dev.Path()).size(), 19U) << "a removed port is gone";
}

TEST(SerialPorts, ResolvesStoredNamesToDevices) {
    const std::vector<SerialPortEntry> ports = ListSerialPorts("/dev");
    struct Case {
        std::string name;
        std::string path;
    };
    const Case cases[] = {
        {"COM2", "/dev/ttyS1"},
        {"com2", "/dev/ttyS1"},
        {"COM1", "/dev/ttyS0"},
        {"COM16", "/dev/ttyS15"},
        {"COM17", ""},
        {"COM0", ""},
        {"", ""},
        {"ttyS1", ""},
        {"/dev/pts/3", "/dev/pts/3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SerialDevicePath(c.name, ports), c.path) << c.name;
    }
}

} // namespace
} // namespace zelk
