#include "ui/dialog/Application.h"

#include "ui/dialog/ModalDialog.h"

Application* Application::current_ = nullptr;

Application::Application() {
    current_ = this;
}

Application::~Application() {
    if (current_ == this) current_ = nullptr;
}

int Application::Main() {
    try {
        int exitCode = 0;
        if (!InitInstance(exitCode)) return exitCode;
        return Run();
    } catch (...) {
        return kExitUnexpectedError;
    }
}

HWND Application::MainWindow() const {
    return mainDialog_ ? mainDialog_->Handle() : nullptr;
}
