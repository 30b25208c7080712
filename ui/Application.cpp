#include "ui/Application.h"

#include "ui/ModalDialog.h"

Application* Application::current_ = nullptr;

Application::Application() {
    current_ = this;
}

Application::~Application() {
    if (current_ == this) current_ = nullptr;
}

int Application::Run() {
    if (!InitInstance()) return ExitCode();
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

HWND Application::MainWindow() const {
    return mainDialog_ ? mainDialog_->Handle() : nullptr;
}
