#include "app/LogStatusSink.h"

#include "engine/StatusLines.h"

void LogStatusSink::SetStatusLine(const std::string& text) {
    // Logged first: a line the screen never finished taking is still kept.
    // A line the log cannot take leaves the screen and the update as they are.
    if (!IsProgressLine(text)) static_cast<void>(log_.WriteLine(text));
    shown_.SetStatusLine(text);
}
