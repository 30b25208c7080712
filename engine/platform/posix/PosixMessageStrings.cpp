#include "engine/MessageStrings.h"

std::string LoadMessageString(int id) { return BuiltInMessageString(id); }
