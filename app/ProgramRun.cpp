#include "app/ProgramRun.h"

#include <string>

#include "app/LogStatusSink.h"
#include "app/NullStatusSink.h"
#include "engine/MessageStrings.h"
#include "package/CodePage1252.h"

namespace {

// The log's own lines, in code page 1252 (\340 a grave, \351 e acute).
// This one in UTF-8: it holds the package's name exactly as given.
std::string StartLine(const UpdaterCommandLine& line) {
    std::string text = Cp1252ToUtf8(std::string("D\351but : mode ") + RunModeName(line.mode));
    if (!line.package.empty()) text += ", paquet " + line.package;
    return text;
}

const char* RecoveryLine(RecoveryOutcome report) {
    switch (report) {
    case RecoveryOutcome::kNothingFound: return nullptr;
    case RecoveryOutcome::kCompleted: return "Reprise : une mise \340 jour interrompue a \351t\351 termin\351e.";
    case RecoveryOutcome::kUndone:
        return "Reprise : une mise \340 jour interrompue a \351t\351 annul\351e, les fichiers sont revenus \340 leur "
               "\351tat d'avant.";
    case RecoveryOutcome::kIncomplete:
        return "Reprise : une mise \340 jour interrompue n'a pas pu \352tre annul\351e enti\350rement ; elle sera "
               "reprise au prochain lancement.";
    case RecoveryOutcome::kNotExamined:
        return "Reprise : le dossier des journaux n'a pas pu \352tre examin\351 ; aucune mise \340 jour "
               "interrompue n'a \351t\351 reprise.";
    }
    return nullptr;
}

}  // namespace

ExitCode ProgramRun::Run(const UpdaterCommandLine& line) {
    try {
        return RunLogged(line);
    } catch (...) {
        // Outside the update's own barrier (the log's first or last line, out
        // of memory): still a code of the table.
        package_.Close();
        return ExitCode::kFailed;
    }
}

ExitCode ProgramRun::RunLogged(const UpdaterCommandLine& line) {
    if (!line.Understood()) {
        // Recorded when the line named a log that opens: the administrator
        // reading it learns why nothing happened.
        if (!line.logFile.empty() && log_.Open(line.logFile)) {
            // The log never stops a run: here and wherever the run writes a
            // line, one the log cannot take is dropped.
            static_cast<void>(log_.WriteUtf8Line(StartLine(line)));
            static_cast<void>(log_.WriteUtf8Line(
                Cp1252ToUtf8("Ligne de commande incorrecte : " + CommandLineErrorText(line.error)) + " (" +
                line.errorWord + ")"));
        }
        if (!line.Unattended()) host_.ShowUsage();
        Finish(ExitCode::kBadCommandLine);
        return ExitCode::kBadCommandLine;
    }
    if (line.mode == RunMode::kUsage) {
        host_.ShowUsage();
        return ExitCode::kSuccess;
    }
    if (!line.logFile.empty() && !log_.Open(line.logFile)) {
        if (!line.Unattended()) host_.ShowUsage();
        return ExitCode::kBadCommandLine;
    }
    static_cast<void>(log_.WriteUtf8Line(StartLine(line)));
    ExitCode code = ExitCode::kFailed;
    try {
        code = RunUnderLock(line);
    } catch (...) {
        // Out of memory, say: an update that was staging has been undone
        // while unwinding, so this is a failure like any other.
        package_.Close();
    }
    Finish(code);
    return code;
}

ExitCode ProgramRun::RunUnderLock(const UpdaterCommandLine& line) {
    if (!host_.TakeInstanceLock()) {
        static_cast<void>(log_.WriteLine("Une autre mise \340 jour est en cours."));
        if (!line.Unattended()) host_.ShowAnotherInstance();
        return ExitCode::kAnotherInstance;
    }

    std::vector<std::string> notes;
    const RecoveryOutcome recovery = updates_.RecoverInterrupted(notes);
    for (const std::string& note : notes) static_cast<void>(log_.WriteLine(note));
    if (const char* text = RecoveryLine(recovery)) static_cast<void>(log_.WriteLine(text));
    if ((recovery == RecoveryOutcome::kUndone || recovery == RecoveryOutcome::kIncomplete) && !line.Unattended()) {
        host_.ShowRecovery(recovery);
    }
    // An update that could not be undone stops only the updates of its own
    // files (the engine refuses a root that overlaps its journal's); the
    // others go on. A recovery run says whether everything is as it was.
    if (line.mode == RunMode::kRecover) {
        const bool whole = recovery != RecoveryOutcome::kIncomplete && recovery != RecoveryOutcome::kNotExamined;
        return whole ? ExitCode::kSuccess : ExitCode::kFailed;
    }

    if (line.mode == RunMode::kSelect) {
        switch (host_.ShowPackageList(log_)) {
        case SelectionResult::kClosed: return ExitCode::kDeclined;
        case SelectionResult::kApplied: return ExitCode::kSuccess;
        case SelectionResult::kFailed: return ExitCode::kFailed;
        case SelectionResult::kWrongBase: return ExitCode::kPatchDoesNotFit;
        }
        return ExitCode::kFailed;
    }
    const ExitCode code = RunPackage(line);
    package_.Close();
    return code;
}

ExitCode ProgramRun::RunPackage(const UpdaterCommandLine& line) {
    const bool opened = package_.Open(line.package, FileNameEncoding::kUtf8);
    if (!opened) {
        if (line.mode == RunMode::kQuiet) {
            static_cast<void>(log_.WriteLine(LoadMessageString(IDS_PACKAGE_DAMAGED)));
        } else {
            // The progress dialog tells it the way it does for a listed file
            // that went bad: the engine's line about a package it cannot read.
            // Its result is known: nothing can be applied from it.
            static_cast<void>(host_.ApplyWithProgress(package_, log_, line.mode == RunMode::kPassive));
        }
        return ExitCode::kPackageUnopenable;
    }

    ApplyResult result = ApplyResult::kFailed;
    switch (line.mode) {
    case RunMode::kQuiet: {
        NullStatusSink nothingShown;
        LogStatusSink sink(nothingShown, log_);
        result = updates_.ApplyQuietly(package_, sink);
        break;
    }
    case RunMode::kConfirm:
        if (!host_.Confirm()) return ExitCode::kDeclined;
        result = host_.ApplyWithProgress(package_, log_, false);
        break;
    default:
        result = host_.ApplyWithProgress(package_, log_, true);
        break;
    }
    return ExitCodeOf(result);
}

void ProgramRun::Finish(ExitCode code) {
    static_cast<void>(log_.WriteLine("Code de sortie : " + std::to_string(static_cast<int>(code)) + " (" +
                                     ExitCodeMeaning(code) + ")"));
}
