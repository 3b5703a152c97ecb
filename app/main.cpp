#include <windows.h>

#include "app/startup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show_command) {
    return patcher::app::RunPatcher(show_command);
}
