// A library without the plug-in command entry point.
#include <windows.h>

extern "C" __declspec(dllexport) int WINAPI SomethingElse() { return 1; }
