#pragma once
// The subcommands of velmora-files. Each lives in a file of its own and is
// listed once in kCommands (commands.cpp).

#include <QApplication>
#include <QStringList>
#include <memory>
#include <span>

namespace velmora::files {

/// One subcommand: its name, its usage lines for --help, and what runs it
/// with the arguments after its name. It returns the exit code.
struct Command {
    const char* name;
    const char* usage;
    bool draws; // makes its own DrawingApplication
    int (*run)(const QStringList& args);
};

/// Every subcommand, in the order --help lists them.
std::span<const Command> Commands();

/// Prints "velmora-files: <message>" as one line on standard error and
/// returns the exit code for bad arguments.
int Fail(const QString& message);
inline constexpr int kExitBadArguments = 2;
inline constexpr int kExitUnreadable = 1;

/// The application for drawing, without a display unless a platform is
/// asked for (QT_QPA_PLATFORM).
std::unique_ptr<QApplication> DrawingApplication();

int RunCsv(const QStringList& args);
int RunPng(const QStringList& args);
int RunSvg(const QStringList& args);

} // namespace velmora::files
