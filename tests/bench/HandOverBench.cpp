// Where a status line's hand-over to the user-interface thread spends its
// time under Windows (or Wine): a worker thread sends N lines to windows of
// the UI thread in several ways, the program's own StatusBox among them, and
// the cost per line of each is printed.
//
//   handover-bench.exe [LINES]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/dialog/StatusBox.h"

namespace {

struct Target {
    const char* what;
    HWND window;
    bool setText;  // SetWindowTextA; otherwise SendMessage(WM_NULL)
};

HWND g_dialog = nullptr;
Target g_targets[8];
int g_targetCount = 0;
int g_lines = 2000;

std::string LineFor(int i) {
    return "Extraction du fichier :: bin\\program" + std::to_string(i % 7) + ".dll (" + std::to_string(i % 101) +
           " %)";
}

DWORD WINAPI Worker(void*) {
    for (int t = 0; t < g_targetCount; ++t) {
        LARGE_INTEGER frequency, start, end;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        for (int i = 0; i < g_lines; ++i) {
            if (g_targets[t].setText) {
                SetWindowTextA(g_targets[t].window, LineFor(i).c_str());
            } else {
                SendMessageA(g_targets[t].window, WM_NULL, 0, 0);
            }
        }
        QueryPerformanceCounter(&end);
        double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
        std::printf("%-48s %8.3f ms per line\n", g_targets[t].what, ms / g_lines);
        std::fflush(stdout);
    }
    PostMessageA(g_dialog, WM_CLOSE, 0, 0);
    return 0;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) g_lines = std::atoi(argv[1]);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "HandOverBench";
    RegisterClassA(&windowClass);
    g_dialog = CreateWindowExA(0, "HandOverBench", "bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 200, nullptr,
                               nullptr, instance, nullptr);
    DWORD editStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | ES_LEFT | ES_MULTILINE | ES_READONLY;
    HWND edit = CreateWindowExA(0, "Edit", "", editStyle, 10, 30, 255, 57, g_dialog, nullptr, instance, nullptr);
    HWND hiddenEdit = CreateWindowExA(0, "Edit", "", editStyle & ~WS_VISIBLE, 10, 30, 255, 57, g_dialog, nullptr,
                                      instance, nullptr);
    HWND singleEdit = CreateWindowExA(0, "Edit", "", WS_CHILD | WS_VISIBLE | ES_READONLY, 10, 90, 255, 20, g_dialog,
                                      nullptr, instance, nullptr);
    const int kStatusBoxId = 1;
    HWND throttled = CreateWindowExA(0, "Edit", "", editStyle, 10, 120, 255, 57, g_dialog,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBoxId)), instance, nullptr);
    StatusBox statusBox;
    if (!statusBox.Attach(g_dialog, kStatusBoxId)) std::printf("the status box paints every line (not attached)\n");
    HWND label = CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE | SS_LEFT, 10, 5, 255, 20, g_dialog, nullptr,
                                 instance, nullptr);
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    for (HWND control : {edit, hiddenEdit, singleEdit, label, throttled}) SendMessageA(control, WM_SETFONT, (WPARAM)font, 0);

    g_targets[g_targetCount++] = {"SendMessage(WM_NULL) to the window", g_dialog, false};
    g_targets[g_targetCount++] = {"SetWindowTextA on a static control", label, true};
    g_targets[g_targetCount++] = {"SetWindowTextA on a single-line edit", singleEdit, true};
    g_targets[g_targetCount++] = {"SetWindowTextA on a hidden multi-line edit", hiddenEdit, true};
    g_targets[g_targetCount++] = {"SetWindowTextA on the multi-line read-only edit", edit, true};
    g_targets[g_targetCount++] = {"the program's StatusBox (paints at most every 40 ms)", throttled, true};
    g_targets[g_targetCount++] = {"SetWindowTextA on the multi-line read-only edit", edit, true};

    CreateThread(nullptr, 0, Worker, nullptr, 0, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // While the status box it subclasses still exists.
    DestroyWindow(g_dialog);
    return 0;
}
