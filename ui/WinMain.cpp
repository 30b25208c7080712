// Entry routine of the Windows program: hands over to the application object.
#include <windows.h>

#include <exception>

#include "ui/dialog/Application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Main has its own barrier; this one also holds for what could come
    // before or after it, so every way out has a code of the table. An
    // exception that cannot be caught (out of a destructor) ends the process
    // with the same code instead of abort's 3.
    std::set_terminate([] { TerminateProcess(GetCurrentProcess(), Application::kExitUnexpectedError); });
    try {
        Application* application = Application::Current();
        return application ? application->Main() : Application::kExitUnexpectedError;
    } catch (...) {
        return Application::kExitUnexpectedError;
    }
}
