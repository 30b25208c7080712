// Hands every status line on to another sink and writes to the run's log
// the lines worth keeping: every one except the per-block progress lines
// (so each Test and Extraction line, a failure line and the last line).
#pragma once

#include <string>

#include "app/RunLog.h"
#include "engine/StatusSink.h"

class LogStatusSink : public StatusSink {
public:
    LogStatusSink(StatusSink& shown, RunLog& log) : shown_(shown), log_(log) {}

    void SetStatusLine(const std::string& text) override;

private:
    StatusSink& shown_;
    RunLog& log_;
};
