// The worker thread's entry: applies the application's package, reporting to
// the running progress dialog, then enables its Close button as its last act.
#pragma once

// The parameter is not used. Returns 0.
unsigned ApplyWorker(void* parameter);
