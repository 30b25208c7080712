#include "app/LogStatusSink.h"

#include "engine/StatusLines.h"

void LogStatusSink::SetStatusLine(const std::string& text) {
    // Logged first: a line the screen never finished taking is still kept.
    if (!IsProgressLine(text)) log_.WriteLine(text);
    shown_.SetStatusLine(text);
}
