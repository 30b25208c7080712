// The command line of the Windows program: which mode to run, on which
// package, with which log. Portable: it works on the text Windows gives.
//
//   [/log FILE]                        the selection dialog
//   [/log FILE] PACKAGE                "Continuez?", then the progress dialog
//   /passive [/log FILE] PACKAGE       the progress dialog alone, closing itself
//   /quiet   [/log FILE] PACKAGE       nothing on screen
//   /recover [/quiet] [/log FILE]      only the recovery of interrupted updates
//   /?                                 the usage
//
// Switches are '/' or '-' and letters (or "?"), read without regard to case,
// in any order. Every other word is the package ("-a.dvk", "/dossier/a.dvk").
#pragma once

#include <string>
#include <vector>

enum class RunMode {
    kSelect,   // no package: the list of the current folder
    kConfirm,  // a package: the question, then the progress dialog
    kPassive,
    kQuiet,
    kRecover,
    kUsage,
};

// Why a command line is not understood; each is exit code 87.
enum class CommandLineError {
    kNone,
    kUnknownSwitch,
    kLogWithoutFile,
    kTwoLogs,
    kTwoPackages,
    kEmptyPackage,
    kNoPackage,         // /passive or /quiet without one
    kModesCombined,     // /passive with /quiet, /recover with a package or /passive, /? with anything
};

struct UpdaterCommandLine {
    RunMode mode = RunMode::kSelect;
    // /quiet was given (also with /recover, and also on a line that is not
    // understood): nothing may be shown, not even the usage.
    bool quiet = false;
    // /passive was given (also on a line that is not understood).
    bool passive = false;
    std::string package;  // as given, relative to the current folder or absolute
    std::string logFile;  // empty without /log
    CommandLineError error = CommandLineError::kNone;
    std::string errorWord;  // the word the error is about, for the log

    bool Understood() const { return error == CommandLineError::kNone; }
    // Nobody is there to answer: no box is shown, the log and the exit code tell.
    bool Unattended() const { return quiet || passive; }
};

// Splits a whole command line as the C run-time does for main's argv
// (program name first, taken up to the next quote when it starts with one):
// spaces and tabs separate words; inside quotes they do not; 2n backslashes
// before a quote give n and the quote opens or closes; 2n+1 give n and a
// literal quote; "" inside quotes is a literal quote; other backslashes stay.
// The program name is dropped: only the arguments come back.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// Reads the arguments (without the program name).
UpdaterCommandLine ParseUpdaterCommandLine(const std::vector<std::string>& arguments);

// The switch as the log names the mode: "interactif", "/passive", ...
const char* RunModeName(RunMode mode);

// A short French phrase for the log, in code page 1252.
std::string CommandLineErrorText(CommandLineError error);
