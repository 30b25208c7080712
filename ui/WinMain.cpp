// Entry routine of the Windows program; the application object reads the command line.
#include <windows.h>

#include "ui/Application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Application* application = Application::Current();
    return application ? application->Run() : 0;
}
