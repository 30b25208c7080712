// The sink of a run with nothing on screen: takes every line, shows none.
#pragma once

#include <string>

#include "engine/StatusSink.h"

class NullStatusSink : public StatusSink {
public:
    void SetStatusLine(const std::string&) override {}
};
