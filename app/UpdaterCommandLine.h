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
// The line is read in UTF-16, as Windows keeps it: its ANSI form maps
// characters outside the code page to look-alikes ("fix-\u0142.dvk" to
// "fix-l.dvk", a fullwidth quote to '"'). Words are kept in UTF-8; the
// package is opened by its exact name, and any other word must have an exact
// code page 1252 form.
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
    kInexactCharacter,  // a /log file with a character outside code page 1252, a lone UTF-16 surrogate
};

struct UpdaterCommandLine {
    RunMode mode = RunMode::kSelect;
    // /quiet was given (also with /recover, and also on a line that is not
    // understood): nothing may be shown, not even the usage.
    bool quiet = false;
    // /passive was given (also on a line that is not understood).
    bool passive = false;
    std::string package;  // UTF-8, as given, relative to the current folder or absolute
    std::string logFile;  // UTF-8; empty without /log
    CommandLineError error = CommandLineError::kNone;
    std::string errorWord;  // UTF-8: the word the error is about, for the log

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
// Works on UTF-16 units, so that no character but the ASCII quote, backslash,
// space and tab splits or quotes.
std::vector<std::u16string> SplitCommandLine(const std::u16string& commandLine);

// Reads the arguments (UTF-8, without the program name).
UpdaterCommandLine ParseUpdaterCommandLine(const std::vector<std::string>& arguments);

// Splits and reads a whole UTF-16 command line (GetCommandLineW's).
UpdaterCommandLine ReadUpdaterCommandLine(const std::u16string& commandLine);

// The switch as the log names the mode: "interactif", "/passive", ...
const char* RunModeName(RunMode mode);

// A short French phrase for the log, in code page 1252.
std::string CommandLineErrorText(CommandLineError error);
