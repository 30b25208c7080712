// Entry routine of the Windows program. The command line is not looked at.
#include <windows.h>

#include "ui/Application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Application* application = Application::Current();
    return application ? application->Run() : 0;
}
