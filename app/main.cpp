// SPDX-License-Identifier: GPL-3.0-or-later
// zelk: the AVR in-system programmer's main window.
#include "about/splash_decision.h"
#include "app/programmer_app.h"
#include "station/state_folder.h"
#include "terminal/serial_ports.h"
#include "terminal/simulated_serial_board.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <QApplication>
#include <QCommandLineParser>
#include <string>
#include <vector>

namespace {

// A simulated chip named `device` that keeps its memories between runs, on real time: the
// waits look and feel as on hardware.
zelk::SimulatorSettings Simulator(const std::string& device) {
    zelk::SimulatorSettings simulator;
    simulator.device = device;
    simulator.virtualTime = false;
    std::error_code ignored;
    std::filesystem::create_directories(zelk::StateFolder(), ignored);
    simulator.stateFile = zelk::StateFolder() / ("sim-" + device + ".bin");
    return simulator;
}

constexpr const char* SimulatedBoardPort = "Simulated board";

} // namespace

int main(int argc, char* argv[]) {
    QApplication::setApplicationName(QStringLiteral("zelk"));
    QApplication::setApplicationVersion(QStringLiteral(ZELK_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("In-system programmer for Atmel AVR microcontrollers"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption simulate(
        QStringLiteral("simulate"),
        QStringLiteral("Work with a simulated cable and <device> instead of the parallel port."),
        QStringLiteral("device"));
    parser.addOption(simulate);
    parser.addPositionalArgument(QStringLiteral("project"),
                                 QStringLiteral("A project file (.prj) to open."),
                                 QStringLiteral("[project]"));

    // --help and --version are answered before the application exists: they need no display.
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            std::fputs(qPrintable(parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                            QStringLiteral("zelk"))),
                       stdout);
            return EXIT_SUCCESS;
        }
        if (argument == QLatin1String("-v") || argument == QLatin1String("--version")) {
            parser.showVersion();
        }
    }

    // Started as another program's server, zelk shows no start-up picture; the parser does
    // not know those switches.
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    zelk::StartupOptions options;
    options.splash = zelk::SplashAllowed(arguments);

    // Qt's own options (-platform, -geometry ...) are taken out of argv here.
    QApplication application(argc, argv);
    QStringList parsed;
    for (const QString& argument : QApplication::arguments()) {
        if (!zelk::IsServerSwitch(argument.toStdString())) {
            parsed.append(argument);
        }
    }
    parser.process(parsed);

    std::unique_ptr<zelk::SimulatedSerialBoard> board;
    if (parser.isSet(simulate)) {
        options.simulator = Simulator(parser.value(simulate).toStdString());
        // A board on a serial port too, so that the serial terminal has a far end.
        board = std::make_unique<zelk::SimulatedSerialBoard>();
        if (std::string error; board->Start(error)) {
            options.serialPorts.push_back({SimulatedBoardPort, board->PortPath()});
        } else {
            std::fprintf(stderr, "zelk: no simulated serial board: %s\n", error.c_str());
        }
    }

    if (const QStringList positional = parser.positionalArguments(); !positional.isEmpty()) {
        options.project = std::filesystem::absolute(positional.front().toStdString());
    }

    zelk::CProgrammerApp app;
    app.Startup(options);
    QApplication::exec();
    return app.Shutdown();
}
