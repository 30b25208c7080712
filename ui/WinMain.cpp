// Entry routine of the Windows program: hands over to the application object.
#include <windows.h>

#include "ui/dialog/Application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Application* application = Application::Current();
    return application ? application->Main() : Application::kExitUnexpectedError;
}
