#include "app/UpdaterCommandLine.h"

#include <cstddef>

#include "package/CodePage1252.h"
#include "package/Utf16Text.h"

namespace {

bool IsBlank(char16_t c) {
    return c == ' ' || c == '\t';
}

std::string Lower(const std::string& text) {
    std::string lower = text;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

enum class Switch { kNotASwitch, kUnknown, kLog, kPassive, kQuiet, kRecover, kUsage };

Switch ReadSwitch(const std::string& word) {
    if (word.size() < 2 || (word[0] != '/' && word[0] != '-')) return Switch::kNotASwitch;
    // Only letters (or "?") make a switch: "-fix.dvk" and "/dossier/fix.dvk" are names.
    for (std::size_t i = 1; i < word.size(); ++i) {
        const char c = word[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '?')) return Switch::kNotASwitch;
    }
    const std::string name = Lower(word.substr(1));
    if (name == "log") return Switch::kLog;
    if (name == "passive") return Switch::kPassive;
    if (name == "quiet") return Switch::kQuiet;
    if (name == "recover") return Switch::kRecover;
    if (name == "?") return Switch::kUsage;
    return Switch::kUnknown;
}

}  // namespace

std::vector<std::u16string> SplitCommandLine(const std::u16string& commandLine) {
    std::vector<std::u16string> words;
    std::size_t i = 0;
    const std::size_t n = commandLine.size();

    // The program name knows no escapes: a path cannot hold a quote.
    if (i < n && commandLine[i] == '"') {
        ++i;
        while (i < n && commandLine[i] != '"') ++i;
        if (i < n) ++i;
    } else {
        while (i < n && !IsBlank(commandLine[i])) ++i;
    }

    for (;;) {
        while (i < n && IsBlank(commandLine[i])) ++i;
        if (i >= n) break;
        std::u16string word;
        bool quoted = false;
        while (i < n && (quoted || !IsBlank(commandLine[i]))) {
            std::size_t backslashes = 0;
            while (i < n && commandLine[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < n && commandLine[i] == '"') {
                word.append(backslashes / 2, u'\\');
                if (backslashes % 2 == 1) {
                    word.push_back(u'"');
                } else if (quoted && i + 1 < n && commandLine[i + 1] == '"') {
                    word.push_back(u'"');
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                word.append(backslashes, u'\\');
                if (i < n && (quoted || !IsBlank(commandLine[i]))) word.push_back(commandLine[i++]);
            }
        }
        words.push_back(word);
    }
    return words;
}

UpdaterCommandLine ParseUpdaterCommandLine(const std::vector<std::string>& arguments) {
    UpdaterCommandLine line;
    bool passive = false, recover = false, usage = false, hasPackage = false, hasLog = false;
    auto fail = [&line](CommandLineError error, const std::string& word) {
        // The first fault is the one reported; /quiet is still looked for.
        if (line.error == CommandLineError::kNone) {
            line.error = error;
            line.errorWord = word;
        }
    };

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        switch (ReadSwitch(word)) {
        case Switch::kLog:
            // The next word is the file, unless there is none or it is one of
            // our switches ("/log /quiet x.dvk" has forgotten its file).
            if (i + 1 >= arguments.size() || arguments[i + 1].empty() ||
                (ReadSwitch(arguments[i + 1]) != Switch::kNotASwitch &&
                 ReadSwitch(arguments[i + 1]) != Switch::kUnknown)) {
                fail(CommandLineError::kLogWithoutFile, word);
                break;
            }
            if (hasLog) fail(CommandLineError::kTwoLogs, arguments[i + 1]);
            // The package is opened by its exact name; the log's must also
            // be one that every code page 1252 text can hold.
            if (std::string cp1252; !Utf8ToCp1252(arguments[i + 1], cp1252)) {
                fail(CommandLineError::kInexactCharacter, arguments[i + 1]);
            }
            hasLog = true;
            line.logFile = arguments[++i];
            break;
        case Switch::kPassive:
            passive = true;
            break;
        case Switch::kQuiet:
            line.quiet = true;
            break;
        case Switch::kRecover:
            recover = true;
            break;
        case Switch::kUsage:
            usage = true;
            break;
        case Switch::kUnknown:
            fail(CommandLineError::kUnknownSwitch, word);
            break;
        case Switch::kNotASwitch:
            if (word.empty()) {
                fail(CommandLineError::kEmptyPackage, word);
            } else if (hasPackage) {
                fail(CommandLineError::kTwoPackages, word);
            } else {
                hasPackage = true;
                line.package = word;
            }
            break;
        }
    }

    line.passive = passive;
    if (usage && arguments.size() > 1) fail(CommandLineError::kModesCombined, "/?");
    if (passive && line.quiet) fail(CommandLineError::kModesCombined, "/passive");
    if (recover && (passive || hasPackage)) fail(CommandLineError::kModesCombined, "/recover");
    if (!recover && !hasPackage && (passive || line.quiet)) {
        fail(CommandLineError::kNoPackage, passive ? "/passive" : "/quiet");
    }

    if (usage) {
        line.mode = RunMode::kUsage;
    } else if (recover) {
        line.mode = RunMode::kRecover;
    } else if (line.quiet) {
        line.mode = RunMode::kQuiet;
    } else if (passive) {
        line.mode = RunMode::kPassive;
    } else {
        line.mode = hasPackage ? RunMode::kConfirm : RunMode::kSelect;
    }
    return line;
}

UpdaterCommandLine ReadUpdaterCommandLine(const std::u16string& commandLine) {
    std::vector<std::string> arguments;
    const std::string* inexact = nullptr;
    for (const std::u16string& word : SplitCommandLine(commandLine)) {
        arguments.emplace_back();
        if (!Utf16ToUtf8(word, arguments.back()) && inexact == nullptr) inexact = &arguments.back();
    }
    UpdaterCommandLine line = ParseUpdaterCommandLine(arguments);
    // No UTF-8 name can hold a lone surrogate: nothing named so is opened.
    if (inexact != nullptr && line.Understood()) {
        line.error = CommandLineError::kInexactCharacter;
        line.errorWord = *inexact;
    }
    return line;
}

const char* RunModeName(RunMode mode) {
    switch (mode) {
    case RunMode::kSelect: return "interactif";
    case RunMode::kConfirm: return "interactif";
    case RunMode::kPassive: return "/passive";
    case RunMode::kQuiet: return "/quiet";
    case RunMode::kRecover: return "/recover";
    case RunMode::kUsage: return "/?";
    }
    return "?";
}

std::string CommandLineErrorText(CommandLineError error) {
    switch (error) {
    case CommandLineError::kNone: return "";
    case CommandLineError::kUnknownSwitch: return "option inconnue";
    case CommandLineError::kLogWithoutFile: return "/log sans nom de fichier";
    case CommandLineError::kTwoLogs: return "deux fichiers /log";
    case CommandLineError::kTwoPackages: return "deux paquets";
    case CommandLineError::kEmptyPackage: return "nom de paquet vide";
    case CommandLineError::kNoPackage: return "paquet manquant";
    case CommandLineError::kModesCombined: return "options incompatibles";
    case CommandLineError::kInexactCharacter: return "caract\350re non repr\351sentable";
    }
    return "";
}
