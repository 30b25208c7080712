// Starts a thread that nobody waits for: it ends when its entry returns.
#pragma once

// Runs entry(parameter) on a new thread at normal priority with the default
// stack. False when the thread could not be created.
bool StartWorkerThread(unsigned (*entry)(void* parameter), void* parameter);
