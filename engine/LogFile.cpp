#include "engine/LogFile.h"

bool MayAppendLog(const LogFileFacts& facts) {
    return facts.regularFile && !facts.link && facts.linkCount == 1 && IsTrustedOwner(facts.owner);
}
